#include "Options.h"

#include "codec/AddressRange.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <set>

namespace controller {
namespace {

// An address list the emulator refuses, for its start-up error.
std::string RangeWords(const codec::SRangeError& why) {
    switch (why.eProblem) {
    case codec::ERangeProblem::TooMany:
        return "more than " + std::to_string(why.nMaxCount) + " addresses";
    case codec::ERangeProblem::None:
        return {};
    default:
        return "\"" + why.strPiece + "\" is no address, FIRST-LAST or a.b.c.d/n";
    }
}

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

// The names of the fault options that take no value.
bool IsSwitch(const std::string& name) {
    return name == "silent" || name == "only-14";
}

} // namespace

bool ApplyFault(Faults& faults, const std::string& name, const std::string& value, std::string& error) {
    if (IsSwitch(name) != value.empty()) {
        error = IsSwitch(name) ? "--" + name + " takes no value" : "--" + name + " needs a value";
        return false;
    }
    long number = 0;
    auto kind = [&](int& out) {
        if (!ReadInt(value, 1, 4, number)) {
            error = "--" + name + " takes a reply kind from 1 to 4, not \"" + value + "\"";
            return false;
        }
        out = static_cast<int>(number);
        return true;
    };
    if (name == "silent") {
        faults.silent = true;
    } else if (name == "only-14") {
        faults.only14 = true;
    } else if (name == "delay-ms") {
        if (!ReadInt(value, 0, 3'600'000, number)) {
            error = "--delay-ms takes a number of milliseconds, not \"" + value + "\"";
            return false;
        }
        faults.delayMs = static_cast<int>(number);
    } else if (name == "order") {
        if (!ReadKinds(value, faults.order)) {
            error = "--order takes distinct reply kinds 1 to 4 separated by commas, not \"" + value + "\"";
            return false;
        }
    } else if (name == "bad-prefix") {
        return kind(faults.badPrefixKind);
    } else if (name == "short") {
        return kind(faults.shortKind);
    } else if (name == "drop") {
        return kind(faults.dropKind);
    } else if (name == "answer-as") {
        codec::Ip4 other = codec::AddressToBytes(value);
        if (other == codec::Ip4{255, 255, 255, 255}) {
            error = "--answer-as takes an IPv4 address, not \"" + value + "\"";
            return false;
        }
        faults.answerAs = other;
    } else if (name == "ignore-field") {
        if (!FieldNames().count(value)) {
            std::string names;
            for (const auto& n : FieldNames())
                names += (names.empty() ? "" : ", ") + n;
            error = "--ignore-field takes one of " + names + ", not \"" + value + "\"";
            return false;
        }
        faults.ignoreFields.insert(value);
    } else {
        error = "unknown fault \"" + name + "\"";
        return false;
    }
    return true;
}

Faults Options::FaultsFor(const codec::Ip4& address) const {
    Faults result = faults;
    std::string ignored;
    for (const ScopedFault& s : scoped)
        if (std::find(s.addresses.begin(), s.addresses.end(), address) != s.addresses.end())
            ApplyFault(result, s.name, s.value, ignored);
    return result;
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    CLI::App app("velmora-controller", "velmora-controller");
    app.set_help_flag();
    app.allow_windows_style_options(false);
    Options parsed;
    std::string address, addresses, order;
    std::vector<std::string> ignoreFields, scoped;
    long delayMs = -1;
    int badPrefix = 0, shortKind = 0, drop = 0;
    bool silent = false, only14 = false;
    app.add_flag("-h,--help", parsed.help)->disable_flag_override();
    auto* single = app.add_option("--address", address);
    auto* many = app.add_option("--addresses", addresses)->excludes(single);
    app.add_option("--port", parsed.port)->check(CLI::Range(0, 65535));
    auto* state = app.add_option("--state", parsed.statePath);
    app.add_option("--state-dir", parsed.stateDir)->excludes(state)->needs(many);
    app.add_option("--log", parsed.logPath);
    app.add_flag("--in-user-folder", parsed.inUserFolder)->disable_flag_override();
    app.add_option("--move-after-ms", parsed.moveAfterMs)->check(CLI::Range(0, 3'600'000));
    app.add_flag("--silent", silent)->disable_flag_override();
    app.add_flag("--only-14", only14)->disable_flag_override();
    app.add_option("--delay-ms", delayMs)->check(CLI::Range(0L, 3'600'000L));
    app.add_option("--order", order);
    app.add_option("--bad-prefix", badPrefix)->check(CLI::Range(1, 4));
    app.add_option("--short", shortKind)->check(CLI::Range(1, 4));
    app.add_option("--drop", drop)->check(CLI::Range(1, 4));
    app.add_option("--ignore-field", ignoreFields);
    std::string answerAs;
    app.add_option("--answer-as", answerAs);
    app.add_option("--fault", scoped);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    if (!address.empty()) {
        const codec::Ip4 a = codec::AddressToBytes(address);
        if (a == codec::Ip4{0xFF, 0xFF, 0xFF, 0xFF}) {
            error = "--address needs an IPv4 address, not \"" + address + "\"";
            return false;
        }
        parsed.address = a;
    }
    if (!addresses.empty()) {
        codec::SRangeError why;
        if (!codec::ParseAddressRange(addresses, parsed.addresses, why)) {
            error = "--addresses: " + RangeWords(why);
            return false;
        }
        if (parsed.stateDir.empty()) {
            error = "--addresses needs --state-dir";
            return false;
        }
    }
    if (silent && !ApplyFault(parsed.faults, "silent", "", error))
        return false;
    if (only14 && !ApplyFault(parsed.faults, "only-14", "", error))
        return false;
    if (delayMs >= 0 && !ApplyFault(parsed.faults, "delay-ms", std::to_string(delayMs), error))
        return false;
    if (!order.empty() && !ApplyFault(parsed.faults, "order", order, error))
        return false;
    if (app.count("--order") && order.empty()) {
        error = "--order needs a value";
        return false;
    }
    parsed.faults.badPrefixKind = badPrefix;
    parsed.faults.shortKind = shortKind;
    parsed.faults.dropKind = drop;
    for (const std::string& field : ignoreFields)
        if (!ApplyFault(parsed.faults, "ignore-field", field, error))
            return false;
    if (!answerAs.empty() && !ApplyFault(parsed.faults, "answer-as", answerAs, error))
        return false;
    // RANGE:NAME or RANGE:NAME=VALUE; the test is made on a scratch copy so a
    // bad value is refused here rather than when a controller meets it.
    for (const std::string& strScoped : scoped) {
        const auto colon = strScoped.find(':');
        ScopedFault s;
        codec::SRangeError why;
        if (colon == std::string::npos ||
            !codec::ParseAddressRange(strScoped.substr(0, colon), s.addresses, why)) {
            error = "--fault takes RANGE:NAME[=VALUE], not \"" + strScoped + "\"" +
                    (why.eProblem == codec::ERangeProblem::None ? "" : " (" + RangeWords(why) + ")");
            return false;
        }
        const std::string rest = strScoped.substr(colon + 1);
        const auto eq = rest.find('=');
        s.name = rest.substr(0, eq);
        s.value = eq == std::string::npos ? std::string() : rest.substr(eq + 1);
        Faults scratch;
        if (!ApplyFault(scratch, s.name, s.value, error)) {
            error = "--fault " + strScoped + ": " + error;
            return false;
        }
        parsed.scoped.push_back(std::move(s));
    }
    options = std::move(parsed);
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
  --addresses RANGE
                   stand in for many controllers in one process, one on each
                   address of RANGE (FIRST-LAST, a CIDR block a.b.c.d/n, or a
                   list of these separated by commas), each with its own state
                   file ADDRESS.json in the --state-dir folder (rewritten after
                   every accepted setting, without waiting for the disk).
  --state-dir DIR  the folder of the state files of --addresses (created when
                   missing).
  --move-after-ms N
                   a network setting (kind 3) that names a new controller
                   address moves the emulator there once the device settings
                   (kind 4) that follow it in a Set have arrived on the old
                   address, or N milliseconds after it when they do not come
                   (default 3000). The state file takes the new address at
                   once, so a restart starts on it.
  --port P         UDP port (default 1550; 0 lets the system choose one). The
                   socket allows address reuse, so it shares the port with
                   a configuration tool bound to 0.0.0.0.
  --state FILE     state file (default controller-state.json in the working
                   folder). Created with default settings when absent;
                   rewritten atomically after every accepted setting.
  --log FILE       append the datagram log to FILE instead of standard error.
                   One line per datagram received or sent: milliseconds since
                   the epoch, direction, peer, kind, length, note and bytes in
                   hex.
  --in-user-folder take a relative --state, --state-dir or --log (and the
                   default state file) in the user's own folder
                   (%LOCALAPPDATA%\Velmora on Windows, $XDG_STATE_HOME/velmora
                   or ~/.local/state/velmora elsewhere), made when absent, not
                   in the working folder (which may not be writable).
  --help, -h       print this text and exit.

Fault options, for testing the configuration tool (for every address):
  --silent         take settings but never answer a query.
  --delay-ms N     send the replies to a query N milliseconds after it.
  --order LIST     send the replies in this order of kinds, for example
                   4,1,2,3; kinds left out are not sent (default 1,2,3,4).
  --bad-prefix K   the reply of kind K (1 to 4) carries a wrong prefix.
  --short K        the reply of kind K is one byte shorter than a reader needs
                   (221 bytes for kinds 1 and 2, 39 for kind 3, 103 for kind 4).
  --only-14        every reply is cut to its 14-byte header.
  --drop K         the reply of kind K is not sent.
  --answer-as A    the replies carry address A instead of the controller's own
                   (a controller answering for another address).
  --ignore-field F a Set leaves setting F as it was while taking the others
                   (repeatable): projector1, projector2, server-ip,
                   controller-ip, mask, gateway, one-key, lock-type,
                   lock-time, dome, microphone, keyboard, mics.
  --fault RANGE:NAME[=VALUE]
                   one of the fault options above for the addresses of RANGE
                   only (repeatable), on top of those for every address:
                   --fault 127.0.0.12:silent --fault 127.0.0.13:drop=2

On start it prints "listening on ADDRESS:PORT" to standard output for each
controller, and "moved to ADDRESS:PORT" after an address change. SIGINT or
SIGTERM ends it cleanly.
)";
}

} // namespace controller
