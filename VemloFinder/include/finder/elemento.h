// Elemento: an index record as the item the system shows; Enumerador: the lister of one
// container for the system.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "finder/indice.h"
#include "finder/proveedor.h"
#include "vemlo/registros.h"

namespace vemlo::finder {

class ExtensionVemlo;

class Elemento : public fp::Item {
 public:
  explicit Elemento(Ficha ficha) : ficha_(std::move(ficha)) {}
  const Ficha& ficha() const { return ficha_; }

  fp::ItemIdentifier itemIdentifier() const override { return ficha_.id; }
  fp::ItemIdentifier parentItemIdentifier() const override { return ficha_.padre; }
  std::string filename() const override { return ficha_.nombre; }
  std::string contentType() const override;
  std::optional<std::int64_t> documentSize() const override;
  std::optional<fp::Date> creationDate() const override;
  std::optional<fp::Date> contentModificationDate() const override { return creationDate(); }
  fp::ItemVersion itemVersion() const override;
  std::uint32_t capabilities() const override;

 private:
  Ficha ficha_;
};

// The media type for the text after the last "." of a file name; the generic data type
// without an extension or a known type.
std::string tipoPorExtension(const std::string& nombre);

// The records of a folder view: its folders, then its files, all editable unless the view's
// role is "lector". The view is taken apart: its names and dates move into the records.
std::vector<Ficha> fichasDe(VistaCarpeta vista, const std::string& raizId);

// The records made up for the two containers that the service has no folder for.
Ficha fichaRaiz(bool editable);
Ficha fichaPapelera();

class Enumerador : public fp::Enumerator {
 public:
  Enumerador(fp::ItemIdentifier contenedor, ExtensionVemlo& ext)
      : contenedor_(std::move(contenedor)), ext_(ext) {}

  void invalidate() override {}
  void enumerateItems(std::shared_ptr<fp::EnumerationObserver> observador, fp::Page) override;
  void enumerateChanges(std::shared_ptr<fp::ChangeObserver> observador, fp::SyncAnchor) override;
  void currentSyncAnchor(std::function<void(std::optional<fp::SyncAnchor>)> completar) override;

 private:
  // Tasks copy what they use: the system may drop the enumerator while they run.
  const fp::ItemIdentifier contenedor_;
  ExtensionVemlo& ext_;
};

}  // namespace vemlo::finder
