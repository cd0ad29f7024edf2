#include "office/OfficeError.h"
#include "office/OfficeFactory.h"
#include "platform/Clipboard.h"
#include "tests/mocks/OfficeMocks.h"

#include <gtest/gtest.h>

namespace kelvaran::office {
namespace {

TEST(OfficeFactory, CreatesRegisteredClassesWhateverTheLetterCase) {
    OfficeFactory factory;
    platform::Clipboard clipboard;
    const platform::Clipboard* seen = nullptr;
    factory.registerWord("Word.Application", [&](const OfficeContext& context) {
        seen = context.clipboard;
        return std::make_shared<testing::MockWordApplication>();
    });
    auto app = factory.createWord(kWordClassName, OfficeContext{&clipboard});
    EXPECT_NE(app, nullptr);
    EXPECT_EQ(seen, &clipboard);
}

TEST(OfficeFactory, UnknownOrFailingCreationIsAnOfficeError) {
    OfficeFactory factory;
    platform::Clipboard clipboard;
    EXPECT_THROW(factory.createWord(kWordClassName, OfficeContext{&clipboard}), OfficeError);
    EXPECT_THROW(factory.createExcel(kExcelClassName, OfficeContext{&clipboard}), OfficeError);
    factory.registerExcel(kExcelClassName, [](const OfficeContext&) -> excel::ApplicationPtr {
        throw OfficeError("no display");
    });
    EXPECT_THROW(factory.createExcel(kExcelClassName, OfficeContext{&clipboard}), OfficeError);
    factory.registerWord(kWordClassName, [](const OfficeContext&) { return word::ApplicationPtr(); });
    EXPECT_THROW(factory.createWord(kWordClassName, OfficeContext{&clipboard}), OfficeError);
}

}  // namespace
}  // namespace kelvaran::office
