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

std::optional<Raster> Clipboard::PendingRendering::get() {
    if (!drawn) {
        try {
            drawn = draw ? draw() : std::nullopt;
        } catch (const std::exception&) {
            drawn = std::optional<Raster>();
        }
        draw = nullptr;  // what it held is no longer needed
    }
    return *drawn;
}

void Clipboard::setMetafileRendering(Raster rendering) {
    rendering_ = std::make_shared<PendingRendering>();
    rendering_->drawn = std::optional<Raster>(std::move(rendering));
    ++generation_;
}

void Clipboard::setMetafileRenderingDrawer(RenderingDrawer draw) {
    rendering_ = std::make_shared<PendingRendering>();
    rendering_->draw = std::move(draw);
    ++generation_;
}

std::optional<Raster> Clipboard::metafileRendering() const {
    return rendering_ ? rendering_->get() : std::nullopt;
}

Clipboard::RenderingDrawer Clipboard::metafileRenderingLater() const {
    std::shared_ptr<PendingRendering> pending = rendering_;
    return [pending]() -> std::optional<Raster> { return pending ? pending->get() : std::nullopt; };
}

void Clipboard::setSummary(ContentSummary summary) { summary_ = std::move(summary); }

std::optional<ContentSummary> Clipboard::summary() const { return summary_; }

}  // namespace kelvaran::platform
