// The Secret Service adapter of the session store (libsecret's synchronous calls, which run
// their own main context and may be made from any thread).
#include "llavero.h"

#include <memory>

#include <libsecret/secret.h>

namespace vemlo::llavero {
namespace {

const SecretSchema* esquema() {
  static const SecretSchema esquema = {"app.vemlo.compartido",
                                       SECRET_SCHEMA_NONE,
                                       {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
  return &esquema;
}

using Atributos = std::unique_ptr<GHashTable, decltype(&g_hash_table_unref)>;

// The attributes every operation starts from.
Atributos consultaBase() {
  Atributos atributos(g_hash_table_new(g_str_hash, g_str_equal), g_hash_table_unref);
  g_hash_table_insert(atributos.get(), const_cast<char*>("service"),
                      const_cast<char*>("app.vemlo.Vemlo.sesion"));
  g_hash_table_insert(atributos.get(), const_cast<char*>("account"), const_cast<char*>("token"));
  return atributos;
}

// Consumes a GError: true when there was none.
bool sinError(GError* error) {
  if (!error) return true;
  g_error_free(error);
  return false;
}

}  // namespace

bool agregar(std::string_view bytes) {
  std::unique_ptr<SecretValue, decltype(&secret_value_unref)> valor(
      secret_value_new(bytes.data(), static_cast<gssize>(bytes.size()), "text/plain"),
      secret_value_unref);
  GError* error = nullptr;
  const bool hecho =
      secret_password_storev_binary_sync(esquema(), consultaBase().get(), SECRET_COLLECTION_DEFAULT,
                                         "Vemlo", valor.get(), nullptr, &error);
  return sinError(error) && hecho;
}

std::optional<std::string> consultar() {
  GError* error = nullptr;
  std::unique_ptr<SecretValue, decltype(&secret_value_unref)> valor(
      secret_password_lookupv_binary_sync(esquema(), consultaBase().get(), nullptr, &error),
      secret_value_unref);
  if (!sinError(error) || !valor) return std::nullopt;
  gsize largo = 0;
  const gchar* datos = secret_value_get(valor.get(), &largo);
  return std::string(datos, largo);
}

void eliminar() {
  GError* error = nullptr;
  secret_password_clearv_sync(esquema(), consultaBase().get(), nullptr, &error);
  sinError(error);
}

}  // namespace vemlo::llavero
