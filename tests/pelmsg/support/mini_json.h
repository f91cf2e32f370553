#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pelmsg::test {

// Just enough JSON to read the corpus oracle files.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    // Member of an object, or a null value when absent.
    const Json& operator[](const std::string& key) const;
    bool IsNull() const { return kind == Kind::Null; }

    // Throws std::runtime_error on malformed input.
    static Json Parse(const std::string& text);
};

} // namespace pelmsg::test
