#include "platform/Clipboard.h"

#include <algorithm>

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
        drawCorner = nullptr;
    }
    return *drawn;
}

namespace {

// The top-left part of a raster.  One whose pixel buffer does not match its
// size is given as it is: a reader draws it as far as it reaches.
Raster cornerOf(const Raster& whole, int width, int height) {
    const int w = std::clamp(width, 0, whole.width);
    const int h = std::clamp(height, 0, whole.height);
    if ((w == whole.width && h == whole.height) ||
        whole.pixels.size() != static_cast<std::size_t>(whole.width) * static_cast<std::size_t>(whole.height)) {
        return whole;
    }
    Raster out(w, h);
    for (int y = 0; y < h; ++y) {
        const auto from = whole.pixels.begin() + static_cast<std::ptrdiff_t>(y) * whole.width;
        std::copy(from, from + w, out.pixels.begin() + static_cast<std::ptrdiff_t>(y) * w);
    }
    return out;
}

}  // namespace

std::optional<Raster> Clipboard::PendingRendering::corner(int width, int height) {
    if (!drawn && drawCorner) {
        try {
            return drawCorner(width, height);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    const std::optional<Raster> whole = get();
    if (!whole) return std::nullopt;
    return cornerOf(*whole, width, height);
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

void Clipboard::setMetafileRenderingDrawers(RenderingDrawer draw, CornerDrawer drawCorner) {
    setMetafileRenderingDrawer(std::move(draw));
    if (rendering_) rendering_->drawCorner = std::move(drawCorner);
}

std::optional<Raster> Clipboard::metafileRenderingCorner(int width, int height) const {
    return rendering_ ? rendering_->corner(width, height) : std::nullopt;
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
