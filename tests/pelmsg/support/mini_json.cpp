#include "mini_json.h"

#include <cstdlib>
#include <stdexcept>

namespace pelmsg::test {

namespace {

class Parser {
public:
    explicit Parser(const std::string& t)
        : text_(t)
    {
    }

    Json Value()
    {
        Skip();
        if (pos_ >= text_.size())
            Fail();
        char c = text_[pos_];
        Json j;
        if (c == '{') {
            j.kind = Json::Kind::Object;
            Items('}', [&] {
                std::string key = String();
                Skip();
                Expect(':');
                j.object[key] = Value();
            });
            return j;
        }
        if (c == '[') {
            j.kind = Json::Kind::Array;
            Items(']', [&] { j.array.push_back(Value()); });
            return j;
        }
        if (c == '"') {
            j.kind = Json::Kind::String;
            j.string = String();
            return j;
        }
        if (text_.compare(pos_, 4, "true") == 0) {
            j.kind = Json::Kind::Bool;
            j.boolean = true;
            pos_ += 4;
            return j;
        }
        if (text_.compare(pos_, 5, "false") == 0) {
            j.kind = Json::Kind::Bool;
            pos_ += 5;
            return j;
        }
        if (text_.compare(pos_, 4, "null") == 0) {
            pos_ += 4;
            return j;
        }
        char* end = nullptr;
        j.kind = Json::Kind::Number;
        j.number = std::strtod(text_.c_str() + pos_, &end);
        if (end == text_.c_str() + pos_)
            Fail();
        pos_ = static_cast<size_t>(end - text_.c_str());
        return j;
    }

private:
    // The items of an object or array after its opening character, each read by `item`, up to `close`.
    template <class F> void Items(char close, F item)
    {
        ++pos_;
        Skip();
        if (Peek() == close) {
            ++pos_;
            return;
        }
        for (;;) {
            Skip();
            item();
            Skip();
            if (Peek() != ',')
                break;
            ++pos_;
        }
        Expect(close);
    }

    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void Skip()
    {
        while (pos_ < text_.size()
            && (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t'))
            ++pos_;
    }
    void Expect(char c)
    {
        if (Peek() != c)
            Fail();
        ++pos_;
    }
    [[noreturn]] void Fail() const { throw std::runtime_error("malformed JSON at " + std::to_string(pos_)); }

    void AppendUtf8(std::string& out, unsigned cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    unsigned Hex4()
    {
        if (pos_ + 4 > text_.size())
            Fail();
        unsigned v = static_cast<unsigned>(std::stoul(text_.substr(pos_, 4), nullptr, 16));
        pos_ += 4;
        return v;
    }

    std::string String()
    {
        Expect('"');
        std::string out;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            char e = text_[pos_++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                unsigned cp = Hex4();
                if (cp >= 0xD800 && cp <= 0xDBFF && text_.compare(pos_, 2, "\\u") == 0) {
                    pos_ += 2;
                    unsigned lo = Hex4();
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                }
                AppendUtf8(out, cp);
                break;
            }
            default:
                out += e;
                break;
            }
        }
        Expect('"');
        return out;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

} // namespace

const Json& Json::operator[](const std::string& key) const
{
    static const Json null;
    auto it = object.find(key);
    return it == object.end() ? null : it->second;
}

Json Json::Parse(const std::string& text) { return Parser(text).Value(); }

} // namespace pelmsg::test
