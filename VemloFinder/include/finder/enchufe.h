// The control socket's wire, shared by the host that listens and the programs that ask it: a
// Unix stream socket, one request line per connection and one answer read to the end. Both
// ends check the other's credentials (SO_PEERCRED), and sends use MSG_NOSIGNAL, so a peer gone
// early costs no SIGPIPE.
#pragma once

#include <sys/un.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vemlo::finder {

// The socket address of `ruta`; fails when the path does not fit in one.
sockaddr_un direccionDe(const std::filesystem::path& ruta);

// True when the peer of the connected socket is this user or root.
bool delMismoUsuario(int fd);

// The bytes before the first newline (or the end); none when nothing came in time or the
// line runs past 8 KiB.
std::optional<std::string> leerLinea(int fd);

// False when the peer is gone or stopped reading.
bool enviarTodo(int fd, std::string_view bytes);

// Everything the peer sends until it closes; fails with std::system_error.
std::string leerHastaElFinal(int fd);

}  // namespace vemlo::finder
