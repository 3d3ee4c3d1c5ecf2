#pragma once

// The Qt-free half of the commands handed to a running Korvex from outside
// (see RemoteCommands.h for the exchange): where the socket of this user and
// display lives, who holds a socket, and the client that sends one command.
// The small `korvex` launcher links only this, so `korvex --command NAME`
// starts without loading Qt; the server in the GUI program finds its socket
// through the same CommandSocketPath.

#include <optional>
#include <string>
#include <sys/types.h>

// The socket path for this user and display: inside XDG_RUNTIME_DIR when it
// is a folder of this user's that nobody else may enter, else inside
// korvex-<uid> in the temporary folder ($TMPDIR or /tmp), which is created
// with mode 0700. Empty, with Error set, when DISPLAY is not set or that
// folder belongs to someone else, is a symbolic link or is open to others.
std::string CommandSocketPath(std::string* Error);

// The user id of the process at the other end of a connected local socket,
// from the kernel (SO_PEERCRED).
std::optional<uid_t> SocketPeerUid(int Socket);

// Hands Name to the running Korvex and waits for its answer. Returns the
// process exit code (0 done, 1 no Korvex of this user running or no answer,
// 2 refused) and sets Message to what the user should read (empty on success).
int SendCommand(const std::string& Name, std::string* Message);
