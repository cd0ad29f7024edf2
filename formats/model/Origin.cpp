#include "formats/model/Origin.h"

namespace kelvaran::formats::model {

namespace {

const ElementOrigin::Shared& nothingShared() {
    static const ElementOrigin::Shared none;
    return none;
}

}  // namespace

ElementOrigin::ElementOrigin(const Origin& origin) : range(origin.range), detail(origin.detail) {
    if (!origin.format.empty() || origin.source || !origin.companions.empty()) {
        shared_ = SharedPart::make(Shared{.format = origin.format, .source = origin.source, .companions = origin.companions});
    }
}

ElementOrigin::SharedPart ElementOrigin::share(std::string format, std::shared_ptr<const std::string> source) {
    return SharedPart::make(Shared{.format = std::move(format), .source = std::move(source), .companions = {}});
}

const std::string& ElementOrigin::format() const { return (shared_ ? *shared_ : nothingShared()).format; }

const std::shared_ptr<const std::string>& ElementOrigin::source() const {
    return (shared_ ? *shared_ : nothingShared()).source;
}

const std::vector<ByteRange>& ElementOrigin::companions() const {
    return (shared_ ? *shared_ : nothingShared()).companions;
}

void ElementOrigin::setSource(std::shared_ptr<const std::string> source) {
    Shared changed = shared_ ? *shared_ : Shared{};
    changed.source = std::move(source);
    shared_ = SharedPart::make(std::move(changed));
}

Origin ElementOrigin::full() const {
    Origin origin;
    origin.format = format();
    origin.range = range;
    origin.companions = companions();
    origin.source = source();
    origin.detail = detail.any();
    return origin;
}

}  // namespace kelvaran::formats::model
