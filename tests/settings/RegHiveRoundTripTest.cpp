// Whatever the store holds must come back the same from its file.
#include "settings/RegHive.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kelvaran::settings {
namespace {

std::string randomText(std::mt19937& rng, bool forName) {
    static const char* const pieces[] = {"a", "Z", "0", " ", "\"", "\\", "=", "[", "]", "@", ";", ",", "\t",
                                         "hex:", "dword:", "ﾒﾀﾋﾟｸﾁｬ", "変換", "\r", "\n"};
    std::uniform_int_distribution<int> length(forName ? 1 : 0, 12);
    std::uniform_int_distribution<int> pick(0, forName ? 16 : 19);
    std::string out;
    int n = length(rng);
    for (int i = 0; i < n; ++i) {
        int p = pick(rng);
        if (p == 19) out.push_back('\0');  // a NUL inside a text
        else out += pieces[p];
    }
    return out;
}

void fill(RegHive::Key& key, std::mt19937& rng, int depth) {
    std::uniform_int_distribution<int> count(0, 4);
    int values = count(rng);
    for (int i = 0; i < values; ++i) {
        RegHive::Value v;
        v.name = i == 0 ? std::string() : randomText(rng, false);
        if (v.name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) v.name = "n" + std::to_string(i);
        if (rng() % 3 == 0) {
            v.type = RegHive::ValueType::Dword;
            v.dword = static_cast<std::uint32_t>(rng());
            v.byteCount = 4;
        } else {
            v.type = RegHive::ValueType::String;
            v.text = randomText(rng, false);
            v.byteCount = v.text.size() + 1;
        }
        key.setValue(std::move(v));
    }
    if (depth == 0) return;
    int children = count(rng);
    for (int i = 0; i < children; ++i) {
        std::string name = randomText(rng, true);
        // a key name holds no backslash and no line break, and is not all blanks
        std::string clean;
        for (char c : name) {
            if (c != '\\' && c != '\r' && c != '\n' && c != '\0') clean.push_back(c);
        }
        if (clean.find_first_not_of(" \t") == std::string::npos) clean = "k" + std::to_string(i);
        if (clean.front() == ' ' || clean.front() == '\t' || clean.back() == ' ' || clean.back() == '\t' ||
            clean.front() == '-') {
            clean = "k" + clean + "k";
        }
        fill(key.addChild(clean), rng, depth - 1);
    }
}

void expectSame(const RegHive::Key& a, const RegHive::Key& b, const std::string& path) {
    ASSERT_EQ(a.values.size(), b.values.size()) << path;
    for (const RegHive::Value& va : a.values) {
        const RegHive::Value* vb = b.value(va.name);
        ASSERT_NE(vb, nullptr) << path << " value " << va.name;
        EXPECT_EQ(vb->name, va.name) << path;
        ASSERT_EQ(static_cast<int>(vb->type), static_cast<int>(va.type)) << path << " " << va.name;
        EXPECT_EQ(vb->text, va.text) << path << " " << va.name;
        EXPECT_EQ(vb->dword, va.dword) << path << " " << va.name;
        EXPECT_EQ(vb->byteCount, va.byteCount) << path << " " << va.name;
    }
    ASSERT_EQ(a.children.size(), b.children.size()) << path;
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        EXPECT_EQ(a.children[i]->name, b.children[i]->name) << path;
        expectSame(*a.children[i], *b.children[i], path + "\\" + a.children[i]->name);
    }
}

TEST(RegHiveRoundTrip, RandomTreesComeBackUnchanged) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 200; ++round) {
        RegHive original("HKEY_CLASSES_ROOT");
        fill(original.root(), rng, 3);
        std::string file = original.serialize();
        RegHive parsed("HKEY_CLASSES_ROOT");
        ASSERT_TRUE(parsed.parse(file)) << round;
        expectSame(original.root(), parsed.root(), "HKEY_CLASSES_ROOT");
        EXPECT_EQ(parsed.serialize(), file) << round;
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace kelvaran::settings
