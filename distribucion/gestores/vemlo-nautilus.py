# Vemlo in Nautilus's context menu: "Copy 7-day link" and "Show in Vemlo" for one file or
# folder inside a Vemlo folder (a fuse.vemlo mount of this user); nothing anywhere else.
# The commands run with an argument vector, never through a shell.
import os
import subprocess

# The programs the entries run (the demo points these at its own build).
VEMLO_CLI = ["vemlo-cli"]
VEMLO_APP = ["vemlo"]


def en_espanol():
    """The product's language rule: LANGUAGE's first entry, else LC_ALL, LC_MESSAGES, LANG."""
    lista = os.environ.get("LANGUAGE", "")
    if lista:
        return lista.split(":")[0].startswith("es")
    for variable in ("LC_ALL", "LC_MESSAGES", "LANG"):
        valor = os.environ.get(variable, "")
        if valor:
            return valor.startswith("es")
    return False


def texto(ingles, espanol):
    return espanol if en_espanol() else ingles


def sin_escapes(campo):
    """A mountinfo field with the kernel's octal escapes (\\040 for a space) undone."""
    salida = bytearray()
    i = 0
    crudo = campo.encode("utf-8", "surrogateescape")
    while i < len(crudo):
        if crudo[i:i + 1] == b"\\" and crudo[i + 1:i + 4].isdigit() and len(crudo[i + 1:i + 4]) == 3:
            salida.append(int(crudo[i + 1:i + 4], 8))
            i += 4
        else:
            salida.append(crudo[i])
            i += 1
    return os.fsdecode(bytes(salida))


def puntos_vemlo(mountinfo):
    """The mount points of the Vemlo folders in a mountinfo text."""
    puntos = []
    for linea in mountinfo.splitlines():
        antes, separador, despues = linea.partition(" - ")
        campos = antes.split(" ")
        if not separador or len(campos) < 5 or not despues.startswith("fuse.vemlo "):
            continue
        puntos.append(sin_escapes(campos[4]))
    return puntos


def punto_de(ruta, puntos):
    """The Vemlo folder that holds `ruta` (itself included), or None."""
    for punto in puntos:
        if ruta == punto or ruta.startswith(punto.rstrip("/") + "/"):
            return punto
    return None


def ruta_en_vemlo(archivo):
    """The local path of a Nautilus file and its Vemlo folder's mount point, or (None, None)."""
    ubicacion = archivo.get_location()
    ruta = ubicacion.get_path() if ubicacion else None
    if not ruta:
        return None, None
    try:
        with open("/proc/self/mountinfo", encoding="utf-8", errors="surrogateescape") as f:
            puntos = puntos_vemlo(f.read())
    except OSError:
        return None, None
    punto = punto_de(ruta, puntos)
    return (ruta, punto) if punto else (None, None)


def lanzar(argv):
    subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, start_new_session=True)


def cargar_nautilus():
    """Nautilus's extension API (4.0 since Nautilus 43, 3.0 before), or None outside it."""
    try:
        import gi
    except ImportError:
        return None
    for version in ("4.0", "3.0"):
        try:
            gi.require_version("Nautilus", version)
            from gi.repository import Nautilus as modulo

            return modulo
        except (ImportError, ValueError):
            continue
    return None


Nautilus = cargar_nautilus()

if Nautilus is not None:
    from gi.repository import GObject

    class MenuVemlo(GObject.GObject, Nautilus.MenuProvider):
        def get_file_items(self, *argumentos):
            archivos = argumentos[-1]
            if len(archivos) != 1:
                return []
            ruta, punto = ruta_en_vemlo(archivos[0])
            if not ruta:
                return []
            mostrar = Nautilus.MenuItem(name="Vemlo::mostrar",
                                        label=texto("Show in Vemlo", "Mostrar en Vemlo"))
            mostrar.connect("activate", lambda *_: lanzar(VEMLO_APP + ["--show", ruta]))
            if ruta.rstrip("/") == punto.rstrip("/"):
                return [mostrar]  # the company's root folder has no share link
            copiar = Nautilus.MenuItem(name="Vemlo::copiarEnlace",
                                       label=texto("Copy 7-day link", "Copiar enlace de 7 días"))
            copiar.connect("activate", lambda *_: lanzar(VEMLO_CLI + ["share", "--copy", ruta]))
            return [copiar, mostrar]
