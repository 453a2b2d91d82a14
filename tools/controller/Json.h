#pragma once

// A small JSON reader and writer, enough for the emulator's state file: null,
// booleans, numbers, strings (ASCII escapes and \u for the Basic Multilingual
// Plane), arrays and objects.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace controller {

struct JsonValue;
using JsonArray = std::vector<JsonValue>;
using JsonObject = std::map<std::string, JsonValue, std::less<>>;

struct JsonValue {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>,
                 std::shared_ptr<JsonObject>>
        value = nullptr;

    bool IsNumber() const { return std::holds_alternative<double>(value); }
    bool IsString() const { return std::holds_alternative<std::string>(value); }
    bool IsBool() const { return std::holds_alternative<bool>(value); }
    const JsonArray* Array() const;
    const JsonObject* Object() const;
};

// Parses a whole document; on failure returns false and says where in error.
bool ParseJson(std::string_view text, JsonValue& out, std::string& error);

// Quotes and escapes a text for a JSON document.
std::string JsonQuote(std::string_view text);

} // namespace controller
