#pragma once
// The control-connection lines that carry a data address: PORT and EPRT
// commands, 227 (PASV) and 229 (EPSV) replies. The relay reads the port
// out of them and writes them again with a port of its own on 127.0.0.1.
// The address in them is never used: the relay keeps every connection on
// loopback and takes the host from the control connection itself.
#include <string>

namespace relay {

enum class AddressLine { None, Port, Eprt, Pasv, Epsv };

struct ParsedAddress {
    AddressLine kind = AddressLine::None;
    int port = 0;
};

// Reads one line without its line end; kind None when it carries no data
// address or the address cannot be read.
ParsedAddress parseCommand(const std::string& line);
ParsedAddress parseReply(const std::string& line);

// The same kind of line naming 127.0.0.1 and the port, with "\r\n".
std::string addressLine(AddressLine kind, int port);

// The verb of a command line, upper-cased ("RETR" of "retr x").
std::string commandVerb(const std::string& line);

} // namespace relay
