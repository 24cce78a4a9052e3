#include "app/about_window.h"

#include "app_fakes.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>

namespace vantor::app {
namespace {

TEST(AboutWindow, FrameCarriesTheVersionLineAboveAPicture)
{
    test::qtApplication();
    for (const auto& [revision, line] : {std::pair{2, "Vantor V6.0.2"}, std::pair{12, "Vantor V6.0.12"}}) {
        AboutWindow about(revision);
        EXPECT_EQ(about.windowTitle(), QStringLiteral("A Propos"));
        EXPECT_EQ(about.size(), QSize(330, 333));
        auto* frame = about.findChild<QGroupBox*>(QStringLiteral("Frame1"));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title(), QString::fromLatin1(line));
        EXPECT_EQ(frame->geometry(), QRect(8, 8, 313, 321));
        auto* image = frame->findChild<QLabel*>(QStringLiteral("Image1"));
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(image->pixmap().isNull());
    }
    EXPECT_EQ(VANTOR_REVISION, 2);
}

}  // namespace
}  // namespace vantor::app
