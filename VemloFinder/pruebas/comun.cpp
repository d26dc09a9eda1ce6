// The shared test pieces of comun.h.
#include "comun.h"

namespace vemlo::finder::pruebas {
namespace {

const Organizacion& empresa(const Cuenta& cuenta, const std::string& nombre) {
  for (const auto& o : cuenta.organizaciones)
    if (o.nombre == nombre) return o;
  throw std::runtime_error("la cuenta no está en " + nombre);
}

fp::ChangeCompletion alCambiar(std::promise<Respuesta>& p) {
  return [&p](fp::ItemPtr item, fp::ItemFields, bool, std::exception_ptr e) {
    p.set_value({std::move(item), e, std::nullopt});
  };
}

}  // namespace

Respuesta buscar(ExtensionVemlo& ext, const std::string& id) {
  return esperarA([&](auto& p) {
    ext.item(id, [&p](fp::ItemPtr item, std::exception_ptr e) {
      p.set_value({std::move(item), e, std::nullopt});
    });
  });
}

Respuesta traer(ExtensionVemlo& ext, const std::string& id) {
  return esperarA([&](auto& p) {
    ext.fetchContents(id, std::nullopt, [&p](auto archivo, fp::ItemPtr item, std::exception_ptr e) {
      p.set_value({std::move(item), e, std::move(archivo)});
    });
  });
}

Respuesta crear(ExtensionVemlo& ext, const fp::Item& plantilla,
                const std::optional<std::filesystem::path>& contenido) {
  return esperarA([&](auto& p) { ext.createItem(plantilla, 0, contenido, 0, alCambiar(p)); });
}

Respuesta modificar(ExtensionVemlo& ext, const fp::Item& item, fp::ItemFields campos,
                    const std::optional<std::filesystem::path>& contenido) {
  return esperarA([&](auto& p) { ext.modifyItem(item, {}, campos, contenido, 0, alCambiar(p)); });
}

std::exception_ptr borrar(ExtensionVemlo& ext, const std::string& id) {
  return esperarA([&](auto& p) {
           ext.deleteItem(id, {}, 0, [&p](std::exception_ptr e) { p.set_value({nullptr, e, {}}); });
         })
      .error;
}

std::shared_ptr<Observador> enumerar(ExtensionVemlo& ext, const std::string& contenedor) {
  auto observador = std::make_shared<Observador>();
  ext.enumerator(contenedor)->enumerateItems(observador, {});
  observador->esperar();
  return observador;
}

std::shared_ptr<Observador> cambios(ExtensionVemlo& ext, fp::SyncAnchor desde) {
  auto observador = std::make_shared<Observador>();
  ext.enumerator(fp::workingSet)->enumerateChanges(observador, std::move(desde));
  observador->esperar();
  return observador;
}

fp::PlainItem plantilla(std::string id, std::string padre, std::string nombre, bool carpeta) {
  fp::PlainItem item;
  item.identifier = std::move(id);
  item.parent = std::move(padre);
  item.name = std::move(nombre);
  item.type = carpeta ? fp::folderType : fp::dataType;
  return item;
}

ConServicio::ConServicio()
    : cuenta(entrar(servicio.base(), correoDemo)),
      demo(servicio.base(), *cuenta.token),
      acme(empresa(cuenta, "Acme")),
      beta(empresa(cuenta, "Beta")) {
  setenv("VEMLO_SERVICIO", servicio.base().c_str(), 1);
  SesionGuardada::guardar(*cuenta.token);
  borrarRegistro(servicio.base());
}

std::vector<std::string> ConServicio::pedidos() const {
  std::vector<std::string> lista;
  const auto json = registro(servicio.base());
  for (const auto& p : json.at("pedidos"))
    lista.push_back(p.at("metodo").get<std::string>() + " " + p.at("ruta").get<std::string>());
  borrarRegistro(servicio.base());
  return lista;
}

std::string ConServicio::idEn(const std::string& carpetaId, const std::string& nombre) const {
  const auto vista = demo.carpeta(carpetaId);
  for (const auto& c : vista.carpetas)
    if (c.nombre == nombre) return "c:" + c.id;
  for (const auto& a : vista.archivos)
    if (a.nombre == nombre) return "a:" + a.id;
  throw std::runtime_error("no está " + nombre);
}

}  // namespace vemlo::finder::pruebas
