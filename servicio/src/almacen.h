// File bytes on disk: blobs under <datos>/blobs named by random ids, written from request
// bodies as they stream in (temporary file, then renamed into place) and served back from
// disk with byte ranges. An upload in parts is assembled in place in "parcial-<id>", which
// becomes blob <id> when the upload is confirmed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <httplib.h>

namespace vemlo::servicio {

struct Recibido {
  std::string blobId;
  std::int64_t tamano = 0;
  std::string etag;  // the quoted hex SHA-256 of the bytes
};

std::filesystem::path rutaBlob(const std::string& blobId);
std::filesystem::path rutaParcial(const std::string& blobId);

// Streams the request body into a new blob. More than `maximo` bytes: "datos" (413).
Recibido recibirBlob(const httplib::ContentReader& lector, std::int64_t maximo);
// Writes `bytes` as a new blob and answers its id.
std::string guardarBlob(const std::string& bytes);
// Streams one part's body into blob `blobId`'s assembly file (made by the first part to
// arrive) at `desde`, writing at most `hueco` bytes, for which it makes room first; answers the
// bytes received and their etag. More than `maximo` bytes: "datos" (413).
Recibido recibirParteEn(const std::string& blobId, std::int64_t desde, std::int64_t hueco,
                        const httplib::ContentReader& lector, std::int64_t maximo);
// The assembly file becomes blob `blobId` (already done by an earlier call: nothing).
void terminarEnsamblado(const std::string& blobId);
// Removes the blob, or its assembly file.
void borrarBlob(const std::string& blobId);

// Answers the blob's bytes (or the one range the request asks for), streamed from disk.
void servirBlob(const httplib::Request& req, httplib::Response& res, const std::string& blobId,
                const std::string& tipo);

// The etag without its quotes, for comparing what clients send back.
std::string sinComillas(std::string etag);

}  // namespace vemlo::servicio
