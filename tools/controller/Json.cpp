#include "Json.h"

#include <cstdio>
#include <cstdlib>

namespace controller {

const JsonArray* JsonValue::Array() const {
    const auto* p = std::get_if<std::shared_ptr<JsonArray>>(&value);
    return p ? p->get() : nullptr;
}

const JsonObject* JsonValue::Object() const {
    const auto* p = std::get_if<std::shared_ptr<JsonObject>>(&value);
    return p ? p->get() : nullptr;
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    bool Document(JsonValue& out, std::string& error) {
        if (!Value(out, 0) || (SkipBlanks(), m_pos != m_text.size())) {
            error = "invalid JSON near offset " + std::to_string(m_pos);
            return false;
        }
        return true;
    }

private:
    static constexpr int kMaxDepth = 64;

    void SkipBlanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    bool Literal(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth) {
        if (depth > kMaxDepth)
            return false;
        SkipBlanks();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '{')
            return ObjectValue(out, depth);
        if (c == '[')
            return ArrayValue(out, depth);
        if (c == '"') {
            std::string s;
            if (!String(s))
                return false;
            out.value = std::move(s);
            return true;
        }
        if (Literal("true")) {
            out.value = true;
            return true;
        }
        if (Literal("false")) {
            out.value = false;
            return true;
        }
        if (Literal("null")) {
            out.value = nullptr;
            return true;
        }
        return Number(out);
    }

    bool Number(JsonValue& out) {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               std::string_view("+-0123456789.eE").find(m_text[m_pos]) != std::string_view::npos)
            ++m_pos;
        if (m_pos == start)
            return false;
        const std::string piece(m_text.substr(start, m_pos - start));
        char* end = nullptr;
        const double v = std::strtod(piece.c_str(), &end);
        if (end != piece.c_str() + piece.size())
            return false;
        out.value = v;
        return true;
    }

    static void AppendUtf8(std::string& s, unsigned code) {
        if (code < 0x80) {
            s += static_cast<char>(code);
        } else if (code < 0x800) {
            s += static_cast<char>(0xC0 | (code >> 6));
            s += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            s += static_cast<char>(0xE0 | (code >> 12));
            s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool String(std::string& s) {
        ++m_pos; // opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c != '\\') {
                s += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                s += e;
                break;
            case 'b':
                s += '\b';
                break;
            case 'f':
                s += '\f';
                break;
            case 'n':
                s += '\n';
                break;
            case 'r':
                s += '\r';
                break;
            case 't':
                s += '\t';
                break;
            case 'u': {
                if (m_pos + 4 > m_text.size())
                    return false;
                const std::string hex(m_text.substr(m_pos, 4));
                char* end = nullptr;
                const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4)
                    return false;
                AppendUtf8(s, static_cast<unsigned>(code));
                m_pos += 4;
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool ArrayValue(JsonValue& out, int depth) {
        auto array = std::make_shared<JsonArray>();
        ++m_pos;
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == ']') {
            ++m_pos;
            out.value = array;
            return true;
        }
        for (;;) {
            JsonValue item;
            if (!Value(item, depth + 1))
                return false;
            array->push_back(std::move(item));
            SkipBlanks();
            if (m_pos >= m_text.size())
                return false;
            if (m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_text[m_pos] != ']')
                return false;
            ++m_pos;
            out.value = array;
            return true;
        }
    }

    bool ObjectValue(JsonValue& out, int depth) {
        auto object = std::make_shared<JsonObject>();
        ++m_pos;
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == '}') {
            ++m_pos;
            out.value = object;
            return true;
        }
        for (;;) {
            SkipBlanks();
            std::string key;
            if (m_pos >= m_text.size() || m_text[m_pos] != '"' || !String(key))
                return false;
            SkipBlanks();
            if (m_pos >= m_text.size() || m_text[m_pos] != ':')
                return false;
            ++m_pos;
            JsonValue item;
            if (!Value(item, depth + 1))
                return false;
            (*object)[key] = std::move(item);
            SkipBlanks();
            if (m_pos >= m_text.size())
                return false;
            if (m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_text[m_pos] != '}')
                return false;
            ++m_pos;
            out.value = object;
            return true;
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

bool ParseJson(std::string_view text, JsonValue& out, std::string& error) {
    return Parser(text).Document(out, error);
}

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

} // namespace controller
