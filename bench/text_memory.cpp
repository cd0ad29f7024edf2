// Peak memory of the command-line program on a text-heavy RTF: MEGABYTES of
// plain text paragraphs and one photo, slimmed for real.  The budget is
// twice the input, 64 MB and the photo decoded once (4 bytes a pixel).
//
// Usage: bench_text_memory PATH/TO/kelvaran-cli [megabytes] [paragraph-characters] [plain|accented|japanese]
// "accented" spells an accent in about half the words with an escape (\'e9),
// "japanese" writes every character as a \u word, as Word does for text
// outside the document's code page.

#include "bench/BenchSupport.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

using namespace kelvaran::bench;

namespace {

// Paragraphs of words drawn from a short list, about `characters` long each,
// until the file holds `bytes`.
void writeText(std::ofstream& out, std::uintmax_t bytes, int characters, const std::string& kind) {
    static const char* plain[] = {"lorem",  "ipsum",  "dolor", "sit",    "amet",     "consectetur", "adipiscing",
                                  "elit",   "sed",    "do",    "eiusmod", "tempor",  "incididunt",  "ut",
                                  "labore", "et",     "magna", "aliqua", "minim",    "veniam"};
    std::vector<std::string> words;
    for (std::size_t i = 0; i < std::size(plain); ++i) {
        std::string word = plain[i];
        if (kind == "accented" && i % 2 == 0 && word.find('e') != std::string::npos) {
            word.replace(word.find('e'), 1, "\\'e9");
        } else if (kind == "japanese") {
            // Each letter as a character of the CJK block, a \u word with a
            // fallback "?".
            std::string spelled;
            for (char c : word) spelled += fmt::format("\\u{}?", 26085 + (c - 'a'));
            word = spelled;
        }
        words.push_back(word);
    }
    std::mt19937 draw(7);
    std::uintmax_t written = 0;
    std::string paragraph;
    while (written < bytes) {
        paragraph = "{\\pard ";
        std::size_t letters = 0;
        while (letters < static_cast<std::size_t>(characters)) {
            const std::size_t k = draw() % words.size();
            paragraph += words[k];
            paragraph += ' ';
            letters += std::strlen(plain[k]) + 1;
        }
        paragraph += "\\par}\n";
        out << paragraph;
        written += paragraph.size();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fmt::print(stderr, "usage: {} PATH/TO/kelvaran-cli [megabytes] [paragraph-characters]\n", argv[0]);
        return 2;
    }
    Launcher launcher;
    if (VIPS_INIT(argv[0])) return 1;
    const int megabytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    const int characters = argc > 3 ? std::max(10, std::atoi(argv[3])) : 500;
    const std::string kind = argc > 4 ? argv[4] : "plain";
    if (kind != "plain" && kind != "accented" && kind != "japanese") {
        fmt::print(stderr, "the kind of text is plain, accented or japanese, not {}\n", kind);
        return 2;
    }
    WorkFolder folder("text");
    const fs::path input = folder.path() / "text.rtf";
    const Photo photo = makePhoto(3, 1);
    {
        std::ofstream out(input, std::ios::binary);
        std::string head = rtfHead() + "{\\pard Photo\\par}\n{\\pard";
        appendPict(head, "jpegblip", photo.jpeg, photo.width, photo.height, 8503, 8503 * photo.height / photo.width);
        head += "\\par}\n";
        out << head;
        writeText(out, static_cast<std::uintmax_t>(megabytes) * 1000000 - head.size(), characters, kind);
        out << "}\n";
    }
    const auto inputBytes = fs::file_size(input);
    const Run run = launcher.run({argv[1], "--min-size", "10", input.string()}, folder.config());
    const double decoded = static_cast<double>(photo.width) * photo.height * 4;
    const double budget = 2.0 * static_cast<double>(inputBytes) + 64e6 + decoded;
    fmt::print("input                    {:.1f} MB of {} text in paragraphs of about {} characters, one {}x{} photo\n",
               inputBytes / 1e6, kind, characters, photo.width, photo.height);
    fmt::print("kelvaran-cli (exit {})    {:.2f} s\n", run.status, run.seconds);
    fmt::print("peak memory              {:.1f} MB (budget 2 x input + 64 MB + decoded photo = {:.1f} MB, {:.0f} %)\n",
               run.peakKb / 1e3, budget / 1e6, run.peakKb * 1e3 / budget * 100);
    return run.status == 0 ? 0 : 1;
}
