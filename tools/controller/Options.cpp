#include "Options.h"

#include <charconv>
#include <set>

namespace controller {
namespace {

bool ReadInt(const std::string& text, long min, long max, long& out) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return false;
    out = value;
    return true;
}

bool ReadKinds(const std::string& text, std::vector<int>& out) {
    std::vector<int> kinds;
    std::set<int> seen;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        long kind = 0;
        if (!ReadInt(text.substr(start, comma - start), 1, 4, kind) ||
            !seen.insert(static_cast<int>(kind)).second)
            return false;
        kinds.push_back(static_cast<int>(kind));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    out = kinds;
    return true;
}

} // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto flag = [&]() {
            if (inlineValue)
                error = name + " takes no value";
            return !inlineValue;
        };
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto kindValue = [&](int& out) {
            std::string text;
            long kind = 0;
            if (!value(text))
                return false;
            if (!ReadInt(text, 1, 4, kind)) {
                error = name + " takes a reply kind from 1 to 4, not \"" + text + "\"";
                return false;
            }
            out = static_cast<int>(kind);
            return true;
        };
        std::string text;
        if (name == "--help" || name == "-h") {
            if (!flag())
                return false;
            options.help = true;
        } else if (name == "--address") {
            if (!value(text))
                return false;
            const codec::Ip4 address = codec::AddressToBytes(text);
            if (address == codec::Ip4{0xFF, 0xFF, 0xFF, 0xFF}) {
                error = "--address needs an IPv4 address, not \"" + text + "\"";
                return false;
            }
            options.address = address;
        } else if (name == "--port") {
            long port = 0;
            if (!value(text))
                return false;
            if (!ReadInt(text, 0, 65535, port)) {
                error = "--port takes a number from 0 to 65535, not \"" + text + "\"";
                return false;
            }
            options.port = static_cast<std::uint16_t>(port);
        } else if (name == "--state") {
            if (!value(options.statePath))
                return false;
        } else if (name == "--log") {
            if (!value(options.logPath))
                return false;
        } else if (name == "--silent") {
            if (!flag())
                return false;
            options.faults.silent = true;
        } else if (name == "--only-14") {
            if (!flag())
                return false;
            options.faults.only14 = true;
        } else if (name == "--delay-ms") {
            long ms = 0;
            if (!value(text))
                return false;
            if (!ReadInt(text, 0, 3'600'000, ms)) {
                error = "--delay-ms takes a number of milliseconds, not \"" + text + "\"";
                return false;
            }
            options.faults.delayMs = static_cast<int>(ms);
        } else if (name == "--move-after-ms") {
            long ms = 0;
            if (!value(text))
                return false;
            if (!ReadInt(text, 0, 3'600'000, ms)) {
                error = "--move-after-ms takes a number of milliseconds, not \"" + text + "\"";
                return false;
            }
            options.moveAfterMs = static_cast<int>(ms);
        } else if (name == "--order") {
            if (!value(text))
                return false;
            if (!ReadKinds(text, options.faults.order)) {
                error = "--order takes distinct reply kinds 1 to 4 separated by commas, not \"" + text + "\"";
                return false;
            }
        } else if (name == "--bad-prefix") {
            if (!kindValue(options.faults.badPrefixKind))
                return false;
        } else if (name == "--short") {
            if (!kindValue(options.faults.shortKind))
                return false;
        } else if (name == "--drop") {
            if (!kindValue(options.faults.dropKind))
                return false;
        } else {
            error = "unknown option \"" + args[i] + "\"";
            return false;
        }
    }
    return true;
}

std::string UsageText() {
    return R"(Usage: velmora-controller [options]

Stands in for the classroom controller (model 4720) on the local network: it
listens for UDP datagrams, takes over the settings the configuration tool
sends (projector codes, addresses and lock, devices and microphones), keeps
them in a state file, and answers a query with its four replies.

Options:
  --address A      listen on IPv4 address A and answer for it (default: the
                   address kept in the state file, else 127.0.0.2).
  --move-after-ms N
                   a network setting (kind 3) that names a new controller
                   address moves the emulator there once the device settings
                   (kind 4) that follow it in a Set have arrived on the old
                   address, or N milliseconds after it when they do not come
                   (default 3000). The state file takes the new address at
                   once, so a restart starts on it.
  --port P         UDP port (default 1550; 0 lets the system choose one). The
                   socket uses SO_REUSEADDR, so it shares the port with a
                   configuration tool bound to 0.0.0.0.
  --state FILE     state file (default controller-state.json in the working
                   folder). Created with default settings when absent;
                   rewritten atomically after every accepted setting.
  --log FILE       append the datagram log to FILE instead of standard error.
                   One line per datagram received or sent: milliseconds since
                   the epoch, direction, peer, kind, length, note and bytes in
                   hex.
  --help, -h       print this text and exit.

Fault options, for testing the configuration tool:
  --silent         take settings but never answer a query.
  --delay-ms N     send the replies to a query N milliseconds after it.
  --order LIST     send the replies in this order of kinds, for example
                   4,1,2,3; kinds left out are not sent (default 1,2,3,4).
  --bad-prefix K   the reply of kind K (1 to 4) carries a wrong prefix.
  --short K        the reply of kind K is one byte shorter than a reader needs
                   (221 bytes for kinds 1 and 2, 39 for kind 3, 103 for kind 4).
  --only-14        every reply is cut to its 14-byte header.
  --drop K         the reply of kind K is not sent.

On start it prints "listening on ADDRESS:PORT" to standard output, and
"moved to ADDRESS:PORT" after an address change. SIGINT or SIGTERM ends it
cleanly.
)";
}

} // namespace controller
