#include "platform/Clipboard.h"

namespace kelvaran::platform {

void Clipboard::Clear() {
    formats_.clear();
    rendering_.reset();
    summary_.reset();
    ++generation_;
}

void Clipboard::setOnly(const std::string& format, std::any data) {
    formats_.clear();
    rendering_.reset();
    summary_.reset();
    formats_[format] = std::move(data);
    ++generation_;
}

void Clipboard::setData(const std::string& format, std::any data) {
    formats_[format] = std::move(data);
    ++generation_;
}

bool Clipboard::hasFormat(const std::string& format) const { return formats_.count(format) != 0; }

std::any Clipboard::data(const std::string& format) const {
    auto it = formats_.find(format);
    return it == formats_.end() ? std::any() : it->second;
}

void Clipboard::setMetafileRendering(Raster rendering) {
    rendering_ = std::move(rendering);
    ++generation_;
}

std::optional<Raster> Clipboard::metafileRendering() const { return rendering_; }

void Clipboard::setSummary(ContentSummary summary) { summary_ = std::move(summary); }

std::optional<ContentSummary> Clipboard::summary() const { return summary_; }

}  // namespace kelvaran::platform
