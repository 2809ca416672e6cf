#include "components/uFMXUtils.h"

#include "tests/localeEnvironment.h"
#include "tests/urlCatcher.h"

#include <gtest/gtest.h>

TEST(IsJapanese, FollowsTheLanguageOfTheMessagesLocale)
{
    const struct
    {
        std::array<const char *, 3> environment; // LC_ALL, LC_MESSAGES, LANG
        bool japanese;
    } cases[] = {
        {{nullptr, nullptr, "ja_JP.UTF-8"}, true},
        {{nullptr, nullptr, "ja"}, true},
        {{nullptr, nullptr, "ja_JP@cjknarrow"}, true},
        {{nullptr, nullptr, "en_US.UTF-8"}, false},
        {{nullptr, nullptr, "C"}, false},
        {{nullptr, nullptr, "C.UTF-8"}, false},
        {{nullptr, nullptr, nullptr}, false},
        {{nullptr, nullptr, "jpn"}, false},
        {{nullptr, nullptr, "JA_JP.UTF-8"}, false},
        {{"ja_JP.UTF-8", "en_US.UTF-8", "en_US.UTF-8"}, true},
        {{"en_US.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8"}, false},
        {{nullptr, "ja_JP.UTF-8", "en_US.UTF-8"}, true},
        {{nullptr, "en_GB.UTF-8", "ja_JP.UTF-8"}, false},
        {{"", "", "ja_JP.UTF-8"}, true}, // empty counts as unset
    };
    for (const auto &c : cases) {
        const auto show = [](const char *value) { return value ? value : "(unset)"; };
        SCOPED_TRACE(testing::Message() << "LC_ALL=" << show(c.environment[0])
                                        << " LC_MESSAGES=" << show(c.environment[1])
                                        << " LANG=" << show(c.environment[2]));
        LocaleEnvironment environment(c.environment);
        EXPECT_EQ(IsJapanese(), c.japanese);
    }
}

TEST(GetVersionString, IsTheProjectVersion)
{
    EXPECT_EQ(GetVersionString(), QStringLiteral(RELIEVA_PROJECT_VERSION));
}

TEST(LoadBitmapResource, ReplacesTheWholeBitmap)
{
    QImage bitmap;
    ASSERT_TRUE(LoadBitmapResource(bitmap, QStringLiteral("ABOUT_ICN60")));
    EXPECT_EQ(bitmap.size(), QSize(60, 60));
    EXPECT_FALSE(bitmap.isGrayscale());

    ASSERT_TRUE(LoadBitmapResource(bitmap, QStringLiteral("ABOUT_SKINW")));
    EXPECT_EQ(bitmap.size(), QSize(512, 256));
    EXPECT_EQ(bitmap, QImage(QStringLiteral(":/ABOUT_SKINW")));
}

TEST(LoadBitmapResource, AMissingResourceRaisesAnErrorNamingIt)
{
    QImage bitmap(7, 7, QImage::Format_ARGB32);
    try {
        LoadBitmapResource(bitmap, QStringLiteral("ABOUT_NOTHING"));
        FAIL() << "no error";
    } catch (const EResNotFound &error) {
        EXPECT_NE(std::string(error.what()).find("ABOUT_NOTHING"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(bitmap.size(), QSize(7, 7));
}

TEST(OpenURL, HandsTheAddressToTheDesktop)
{
    UrlCatcher browser(QStringLiteral("https"));
    OpenURL(QStringLiteral("https://relieva.example/en/"));
    EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(QStringLiteral("https://relieva.example/en/"))});
}

TEST(OpenURL, AnAddressNobodyOpensIsIgnored)
{
    OpenURL(QStringLiteral("relieva-nowhere:page"));
    OpenURL(QString());
    SUCCEED();
}
