// The file-provider interfaces: what the system side (the vemlo-finder host) and an extension
// say to each other about one domain. They keep the roles, identifier raw values and error
// codes of the desktop file-provider system the extension was first written for, so the
// extension reads the same on any platform and only the host differs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace vemlo::fp {

using ItemIdentifier = std::string;
inline const ItemIdentifier rootContainer = "NSFileProviderRootContainerItemIdentifier";
inline const ItemIdentifier trashContainer = "NSFileProviderTrashContainerItemIdentifier";
inline const ItemIdentifier workingSet = "NSFileProviderWorkingSetContainerItemIdentifier";

// Content types are MIME types.
inline const std::string folderType = "inode/directory";
inline const std::string dataType = "application/octet-stream";

using Date = std::chrono::sys_time<std::chrono::milliseconds>;

// Capability bits of an item.
enum Capability : std::uint32_t {
  reading = 1,
  writing = 2,
  reparenting = 4,
  renaming = 8,
  trashing = 16,
  deleting = 32,
};

// Which properties of an item a create or modify request carries.
enum ItemField : std::uint32_t {
  contents = 1,
  filename = 2,
  parentItemIdentifier = 4,
  contentModificationDate = 8,
};
using ItemFields = std::uint32_t;
using Options = std::uint32_t;

// Opaque version bytes: the content changes when the bytes do, the metadata when the name,
// place or rights do.
struct ItemVersion {
  std::string contentVersion;
  std::string metadataVersion;
  bool operator==(const ItemVersion&) const = default;
};

class Item {
 public:
  virtual ~Item() = default;
  virtual ItemIdentifier itemIdentifier() const = 0;
  virtual ItemIdentifier parentItemIdentifier() const = 0;
  virtual std::string filename() const = 0;
  virtual std::string contentType() const = 0;
  virtual std::optional<std::int64_t> documentSize() const = 0;
  virtual std::optional<Date> creationDate() const = 0;
  virtual std::optional<Date> contentModificationDate() const = 0;
  virtual ItemVersion itemVersion() const = 0;
  virtual std::uint32_t capabilities() const = 0;
};
using ItemPtr = std::shared_ptr<const Item>;

// An item the system makes up: the template of a create, the new state of a modify.
struct PlainItem : Item {
  ItemIdentifier identifier;
  ItemIdentifier parent;
  std::string name;
  std::string type = dataType;
  std::optional<std::int64_t> size;

  ItemIdentifier itemIdentifier() const override { return identifier; }
  ItemIdentifier parentItemIdentifier() const override { return parent; }
  std::string filename() const override { return name; }
  std::string contentType() const override { return type; }
  std::optional<std::int64_t> documentSize() const override { return size; }
  std::optional<Date> creationDate() const override { return std::nullopt; }
  std::optional<Date> contentModificationDate() const override { return std::nullopt; }
  ItemVersion itemVersion() const override { return {}; }
  std::uint32_t capabilities() const override { return 63; }
};

struct SyncAnchor {
  std::string bytes;
  bool operator==(const SyncAnchor&) const = default;
};
using Page = std::string;

// Errors handed to completion handlers, in two domains.
enum class ErrorDomain { fileProvider, cocoa };
enum FileProviderCode : int {
  notAuthenticated = -1000,
  filenameCollision = -1001,
  syncAnchorExpired = -1002,
  insufficientQuota = -1003,
  serverUnreachable = -1004,
  noSuchItem = -1005,
};
enum CocoaCode : int {
  fileWriteNoPermission = 513,
  userCancelled = 3072,
  featureUnsupported = 3328,
};

class Error : public std::exception {
 public:
  explicit Error(FileProviderCode code) : domain_(ErrorDomain::fileProvider), code_(code) {}
  explicit Error(CocoaCode code) : domain_(ErrorDomain::cocoa), code_(code) {}
  ErrorDomain domain() const { return domain_; }
  int code() const { return code_; }
  const char* what() const noexcept override;
  bool operator==(const Error& other) const {
    return domain_ == other.domain_ && code_ == other.code_;
  }

 private:
  ErrorDomain domain_;
  int code_;
};

// The progress of one request: units done of a total (none for requests without one). The
// system may cancel it; the request's work stops at its next wait.
class Progress {
 public:
  explicit Progress(std::optional<std::int64_t> total = std::nullopt)
      : total_(total.value_or(-1)) {}
  std::optional<std::int64_t> totalUnitCount() const;
  std::int64_t completedUnitCount() const { return completed_; }
  void setCompletedUnitCount(std::int64_t units) { completed_ = units; }
  void addCompletedUnits(std::int64_t units) { completed_ += units; }
  void cancel() { cancelled_.request_stop(); }
  std::stop_token cancellation() const { return cancelled_.get_token(); }

 private:
  const std::int64_t total_;
  std::atomic<std::int64_t> completed_ = 0;
  std::stop_source cancelled_;
};
using ProgressPtr = std::shared_ptr<Progress>;

class EnumerationObserver {
 public:
  virtual ~EnumerationObserver() = default;
  virtual void didEnumerateItems(std::vector<ItemPtr> items) = 0;
  virtual void finishEnumeratingUpToPage(std::optional<Page> nextPage) = 0;
  virtual void finishEnumeratingWithError(std::exception_ptr error) = 0;
};

class ChangeObserver {
 public:
  virtual ~ChangeObserver() = default;
  virtual void didUpdateItems(std::vector<ItemPtr> items) = 0;
  virtual void didDeleteItemsWithIdentifiers(std::vector<ItemIdentifier> identifiers) = 0;
  virtual void finishEnumeratingChangesUpToSyncAnchor(SyncAnchor anchor, bool moreComing) = 0;
  virtual void finishEnumeratingWithError(std::exception_ptr error) = 0;
};

// Lists one container. Each call returns at once; the observer hears the end exactly once.
class Enumerator {
 public:
  virtual ~Enumerator() = default;
  virtual void invalidate() = 0;
  virtual void enumerateItems(std::shared_ptr<EnumerationObserver> observer, Page page) = 0;
  virtual void enumerateChanges(std::shared_ptr<ChangeObserver> observer, SyncAnchor from) = 0;
  virtual void currentSyncAnchor(std::function<void(std::optional<SyncAnchor>)> completion) = 0;
};

using ItemCompletion = std::function<void(ItemPtr, std::exception_ptr)>;
using ContentsCompletion =
    std::function<void(std::optional<std::filesystem::path>, ItemPtr, std::exception_ptr)>;
using ChangeCompletion =
    std::function<void(ItemPtr, ItemFields pending, bool shouldFetchContent, std::exception_ptr)>;
using ErrorCompletion = std::function<void(std::exception_ptr)>;
using ThumbnailCompletion =
    std::function<void(const ItemIdentifier&, std::optional<std::string> data, std::exception_ptr)>;

// The extension of one domain. Every request returns its progress at once and calls its
// completion exactly once, from another thread.
class ReplicatedExtension {
 public:
  virtual ~ReplicatedExtension() = default;
  virtual void invalidate() = 0;
  virtual std::unique_ptr<Enumerator> enumerator(const ItemIdentifier& container) = 0;
  virtual ProgressPtr item(const ItemIdentifier& identifier, ItemCompletion completion) = 0;
  virtual ProgressPtr fetchContents(const ItemIdentifier& identifier,
                                    const std::optional<ItemVersion>& requestedVersion,
                                    ContentsCompletion completion) = 0;
  virtual ProgressPtr createItem(const Item& itemTemplate, ItemFields fields,
                                 const std::optional<std::filesystem::path>& contents,
                                 Options options, ChangeCompletion completion) = 0;
  virtual ProgressPtr modifyItem(const Item& item, const ItemVersion& baseVersion,
                                 ItemFields changedFields,
                                 const std::optional<std::filesystem::path>& contents,
                                 Options options, ChangeCompletion completion) = 0;
  virtual ProgressPtr deleteItem(const ItemIdentifier& identifier, const ItemVersion& baseVersion,
                                 Options options, ErrorCompletion completion) = 0;
};

// The bytes of a fetch on disk so far, heard from the fetch's thread after each piece.
using ContentsArrival = std::function<void(std::int64_t bytes)>;
using PartialContentsCompletion =
    std::function<void(std::optional<std::string> bytes, std::exception_ptr)>;

// Fetches whose bytes the system reads while they arrive: it names the file to write into (in
// the domain's temporary directory) and hears how many bytes are in it.
class StreamingContents {
 public:
  virtual ~StreamingContents() = default;
  // As fetchContents, but into `file` (created, or emptied) as the bytes arrive; the completion
  // gives `file` once every byte is in it and synced. After a failure `file` keeps what arrived.
  virtual ProgressPtr fetchContentsInto(const ItemIdentifier& identifier,
                                        const std::filesystem::path& file, ContentsArrival arrival,
                                        ContentsCompletion completion) = 0;
  // The `length` bytes at `offset` of the item alone (fewer at its end), in memory: for a
  // reader far ahead of a fetch.
  virtual ProgressPtr fetchPartialContents(const ItemIdentifier& identifier, std::int64_t offset,
                                           std::int64_t length,
                                           PartialContentsCompletion completion) = 0;
};

class Thumbnailing {
 public:
  virtual ~Thumbnailing() = default;
  virtual ProgressPtr fetchThumbnails(const std::vector<ItemIdentifier>& identifiers,
                                      std::uint32_t requestedSize, ThumbnailCompletion perThumbnail,
                                      ErrorCompletion completion) = 0;
};

// A domain of the registry: its identifier is a company id.
struct Domain {
  std::string identifier;
  std::string displayName;
};

// The domain's folder for downloads handed to the system:
// $XDG_CACHE_HOME/vemlo-finder/<identifier>/tmp, created when missing. A failure, or an
// identifier that cannot be a file name, is a std::filesystem::filesystem_error.
std::filesystem::path temporaryDirectory(const Domain& domain);

// True for an identifier usable as one file-name component ("", ".", ".." and "/" are not).
bool isSafeFileName(const std::string& name);

}  // namespace vemlo::fp
