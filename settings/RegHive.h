#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelvaran::settings {

// One hive held in memory: a tree of keys with their values, read from and
// written to the registry-export text format.  Key and value names are
// compared without regard to ASCII letter case, as the registry does; the
// spelling first seen is the one written back.
class RegHive {
public:
    enum class ValueType { String, Dword, Other };

    struct Value {
        std::string name;       // "" is the key's default value ("@")
        ValueType type = ValueType::String;
        std::string text;       // String: the text (may hold NUL characters)
        std::uint32_t dword = 0;
        std::string raw;        // Other: the data as it stood after "=", kept for writing back
        std::size_t byteCount = 0;  // size of the stored data, terminating NUL of a string included
    };

    struct Key {
        std::string name;
        std::vector<std::unique_ptr<Key>> children;   // enumeration order
        std::unordered_map<std::string, Key*> childByName;  // lower-case name
        std::vector<Value> values;
        std::unordered_map<std::string, std::size_t> valueByName;

        Key* child(std::string_view name) const;
        Key& addChild(std::string_view name);
        const Value* value(std::string_view name) const;
        void setValue(Value value);
        void removeValue(std::string_view name);
    };

    // rootName is the hive's name as it opens every section, "HKEY_LOCAL_MACHINE".
    explicit RegHive(std::string rootName);

    const std::string& rootName() const { return rootName_; }
    Key& root() { return root_; }
    const Key& root() const { return root_; }

    // The key at a "\"-separated path below the root (empty parts are
    // skipped; "" is the root itself), or null.
    Key* find(std::string_view path);
    // Finds the key, creating it and its missing parents.
    Key& create(std::string_view path);

    // Replaces the content with the parse of a file's text.  Unreadable lines
    // are skipped.  Returns false when the text does not start with one of the
    // two export headers (the content is parsed all the same).
    bool parse(std::string_view fileText);
    // The whole hive in the export format, UTF-8, CRLF line ends.
    std::string serialize() const;

    void clear();

private:
    std::string rootName_;
    Key root_;
};

}  // namespace kelvaran::settings
