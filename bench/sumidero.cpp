// A fast sink for the upload engine: answers on loopback what the service answers to a
// sign-in and an upload (parts signed for direct storage with --directo si, through the service
// with no), and reads and drops every body, so that an upload against it measures the client
// alone. Also takes a single PUT at /almacen/subir/ for curl. Prints "escuchando BASE".
// Usage: sumidero --directo si|no [--parte BYTES]   (other arguments are ignored)
#include <httplib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

void responder(httplib::Response& res, const json& cuerpo) {
  res.set_content(cuerpo.dump(), "application/json");
}

// Reads the body to the end, keeping none of it.
void tirar(const httplib::ContentReader& lector) {
  lector([](const char*, std::size_t) { return true; });
}

}  // namespace

int main(int argc, char** argv) {
  bool directo = false;
  std::int64_t parte = 8 << 20;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--directo") == 0) directo = std::strcmp(argv[i + 1], "si") == 0;
    if (std::strcmp(argv[i], "--parte") == 0) parte = std::stoll(argv[i + 1]);
  }
  httplib::Server servidor;
  servidor.set_tcp_nodelay(true);  // as the service: small answers go out at once
  std::string base;
  servidor.Post("/v1/sesiones", [](const httplib::Request&, httplib::Response& res) {
    responder(res, {{"usuario", {{"id", "u"}, {"nombre", "Banco"}, {"correo", "b@vemlo.test"}}},
                    {"organizaciones",
                     {{{"id", "o"}, {"nombre", "O"}, {"rol", "admin"}, {"carpetaRaizId", "r"}}}},
                    {"token", "t"}});
  });
  servidor.Post("/v1/subidas", [&](const httplib::Request& req, httplib::Response& res) {
    const auto tamano = json::parse(req.body).at("tamanoBytes").get<std::int64_t>();
    responder(res, {{"archivoId", "a"},
                    {"versionId", "v"},
                    {"partes",
                     {{"tamanoParte", parte},
                      {"total", (tamano + parte - 1) / parte},
                      {"directo", directo}}}});
  });
  servidor.Post(R"(/v1/subidas/v/partes/(\d+)/firmar)",
                [&](const httplib::Request& req, httplib::Response& res) {
                  responder(res, {{"url", base + "/almacen/partes/" + req.matches[1].str()}});
                });
  servidor.Put(R"(/v1/subidas/v/partes/(\d+))", [](const httplib::Request&, httplib::Response& res,
                                                   const httplib::ContentReader& lector) {
    tirar(lector);
    responder(res, {{"etag", "\"e\""}});
  });
  servidor.Put(R"(/almacen/(partes|subir)/.*)", [](const httplib::Request&, httplib::Response& res,
                                                   const httplib::ContentReader& lector) {
    tirar(lector);
    res.set_header("ETag", "\"e\"");
  });
  servidor.Post("/v1/subidas/v/confirmar", [](const httplib::Request&, httplib::Response& res) {
    responder(res, json::object());
  });
  const int puerto = servidor.bind_to_any_port("127.0.0.1");
  base = "http://127.0.0.1:" + std::to_string(puerto);
  std::printf("escuchando %s\n", base.c_str());
  std::fflush(stdout);
  return servidor.listen_after_bind() ? 0 : 1;
}
