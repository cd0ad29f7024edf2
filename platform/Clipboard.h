#pragma once

#include "platform/Raster.h"

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace kelvaran::platform {

// The clipboard that carries objects between the office applications.  It lives
// in the process, belongs to one batch run and never touches the desktop's
// clipboard.  It holds any number of typed formats at once, each named by a text
// (the office backends agree on their own names); the metafile-picture rendering
// (format 3 of the system clipboard) has members of its own because the
// engine's picture comparison reads it.
// What a single picture on the clipboard is, for reports: its stored
// encoding ("JPEG", "EMF"...), its stored size and its pixel size (0 when
// the picture does not say).
struct ContentSummary {
    std::string pictureType;
    std::uint64_t bytes = 0;
    std::int32_t pixelWidth = 0;
    std::int32_t pixelHeight = 0;
    // Pixels of the part that is displayed (the whole picture less its crop);
    // 0 when the picture has no pixels of its own (a metafile) or they are
    // not known.
    std::int32_t visibleWidth = 0;
    std::int32_t visibleHeight = 0;
    // The stored picture itself, shared with its holder (never copied), for
    // front ends that show it; null when not offered.
    std::shared_ptr<const std::string> picture{};
};

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Empties every format.
    virtual void Clear();

    // Replaces the whole content by one format.
    virtual void setOnly(const std::string& format, std::any data);
    // Adds or replaces one format and keeps the others.
    virtual void setData(const std::string& format, std::any data);
    virtual bool hasFormat(const std::string& format) const;
    // The data of a format, or an empty std::any.
    virtual std::any data(const std::string& format) const;

    // The content rendered as a metafile picture, drawn at its own size.
    virtual void setMetafileRendering(Raster rendering);
    // The same, drawn by `draw` only when the rendering is first asked for
    // (at most once): copying an object costs no drawing until someone
    // compares pictures.  `draw` gives nothing when the content cannot be
    // drawn.
    using RenderingDrawer = std::function<std::optional<Raster>()>;
    virtual void setMetafileRenderingDrawer(RenderingDrawer draw);
    // The same with a second drawer that draws only the top-left part of the
    // rendering, at most width x height pixels, exactly as the whole would
    // show it; asked for the part while the whole is not drawn yet.
    using CornerDrawer = std::function<std::optional<Raster>(int width, int height)>;
    void setMetafileRenderingDrawers(RenderingDrawer draw, CornerDrawer drawCorner);
    // The rendering, or nothing when the content offers none.
    virtual std::optional<Raster> metafileRendering() const;
    // The rendering of the current content for later: calling the result
    // gives what metafileRendering() gives now, drawn at that call, even when
    // the clipboard holds other content by then.  Never empty.
    RenderingDrawer metafileRenderingLater() const;
    // The top-left part of the rendering, at most width x height pixels: all
    // a comparison box of that size shows of it.  Costs no more drawing than
    // that part when the content offers a drawer for parts.
    std::optional<Raster> metafileRenderingCorner(int width, int height) const;

    // Describes the content; replacing the content forgets the summary.
    virtual void setSummary(ContentSummary summary);
    // The summary, or nothing when the content is not a single picture.
    virtual std::optional<ContentSummary> summary() const;

    // Counts the changes; lets holders of the content see that it was replaced.
    std::uint64_t generation() const { return generation_; }

private:
    // A rendering drawn once, when first asked for; shared by the handles
    // metafileRenderingLater gives out.
    struct PendingRendering {
        RenderingDrawer draw;
        CornerDrawer drawCorner;
        std::optional<std::optional<Raster>> drawn;
        std::optional<Raster> get();
        std::optional<Raster> corner(int width, int height);
    };

    std::map<std::string, std::any> formats_;
    std::shared_ptr<PendingRendering> rendering_;
    std::optional<ContentSummary> summary_;
    std::uint64_t generation_ = 0;
};

}  // namespace kelvaran::platform
