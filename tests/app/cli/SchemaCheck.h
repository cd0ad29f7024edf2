#pragma once

// A checker for the part of JSON Schema that the report's schema uses: type
// (one name or a list), const, enum, required, properties,
// additionalProperties false, minimum, oneOf and items.  Anything else in the schema
// is an error, so a schema that grows past what is checked here is noticed.

#include <nlohmann/json.hpp>

#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace kelvaran::app::testing {

inline nlohmann::json loadSchema(const std::string& path) {
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

inline bool hasType(const nlohmann::json& value, const std::string& type) {
    if (type == "string") return value.is_string();
    if (type == "integer") return value.is_number_integer();
    if (type == "number") return value.is_number();
    if (type == "boolean") return value.is_boolean();
    if (type == "null") return value.is_null();
    if (type == "object") return value.is_object();
    if (type == "array") return value.is_array();
    return false;
}

// The problems of `value` against `schema`, each with its place; empty when it fits.
inline std::vector<std::string> schemaProblems(const nlohmann::json& schema, const nlohmann::json& value,
                                               const std::string& where = "$") {
    static const std::set<std::string> known = {"$schema", "title", "description", "type", "const", "enum",
                                                "required", "properties", "additionalProperties", "minimum",
                                                "oneOf", "items"};
    std::vector<std::string> problems;
    for (const auto& [key, _] : schema.items()) {
        if (!known.count(key)) problems.push_back(where + ": the checker does not know the keyword " + key);
    }
    if (schema.contains("type")) {
        const auto& type = schema["type"];
        bool fits = false;
        if (type.is_string()) {
            fits = hasType(value, type.get<std::string>());
        } else {
            for (const auto& t : type) fits = fits || hasType(value, t.get<std::string>());
        }
        if (!fits) problems.push_back(where + ": not of type " + type.dump());
    }
    if (schema.contains("const") && value != schema["const"]) {
        problems.push_back(where + ": not " + schema["const"].dump());
    }
    if (schema.contains("enum")) {
        bool found = false;
        for (const auto& option : schema["enum"]) found = found || option == value;
        if (!found) problems.push_back(where + ": " + value.dump() + " is not one of " + schema["enum"].dump());
    }
    if (schema.contains("minimum") && value.is_number() && value.get<double>() < schema["minimum"].get<double>()) {
        problems.push_back(where + ": below the minimum");
    }
    if (value.is_object()) {
        if (schema.contains("required")) {
            for (const auto& name : schema["required"]) {
                if (!value.contains(name.get<std::string>())) {
                    problems.push_back(where + ": " + name.get<std::string>() + " is missing");
                }
            }
        }
        const auto properties = schema.value("properties", nlohmann::json::object());
        for (const auto& [name, member] : value.items()) {
            if (properties.contains(name)) {
                const auto inner = schemaProblems(properties[name], member, where + "." + name);
                problems.insert(problems.end(), inner.begin(), inner.end());
            } else if (schema.contains("additionalProperties") && schema["additionalProperties"] == false) {
                problems.push_back(where + ": " + name + " is not allowed");
            }
        }
    }
    if (value.is_array() && schema.contains("items")) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            const auto inner = schemaProblems(schema["items"], value[i], where + "[" + std::to_string(i) + "]");
            problems.insert(problems.end(), inner.begin(), inner.end());
        }
    }
    if (schema.contains("oneOf")) {
        int matches = 0;
        std::string closest;
        for (const auto& option : schema["oneOf"]) {
            const auto inner = schemaProblems(option, value, where);
            if (inner.empty()) {
                ++matches;
            } else if (closest.empty() || inner.size() < 3) {
                closest = inner.front();
            }
        }
        if (matches != 1) {
            problems.push_back(where + ": fits " + std::to_string(matches) + " of the alternatives (" + closest + ")");
        }
    }
    return problems;
}

}  // namespace kelvaran::app::testing
