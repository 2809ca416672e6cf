#include "components/uFMXTheme.h"
#include "components/uFMXThemePortal.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(ThemeRules, WindowsVersion)
{
    const struct
    {
        uint32_t major;
        bool win10;
    } cases[] = {{5, false}, {6, false}, {10, true}, {11, true}};
    for (const auto &c : cases)
        EXPECT_EQ(IsWin10Version(c.major), c.win10) << c.major;
}

TEST(ThemeRules, AppsUseLightTheme)
{
    const struct
    {
        std::optional<uint32_t> stored;
        bool light;
    } cases[] = {{1, true}, {0, false}, {2, false}, {0xFFFFFFFF, false}, {std::nullopt, true}};
    for (const auto &c : cases)
        EXPECT_EQ(IsLightAppMode(c.stored), c.light) << c.stored.value_or(12345);
}

TEST(ThemeRules, RegistryAccentBecomesOpaqueARGB)
{
    const struct
    {
        std::optional<uint32_t> stored;
        TAlphaColor argb;
    } cases[] = {
        {0xFFD77800, 0xFF0078D7},
        {0x00D77800, 0xFF0078D7}, // a stored alpha of 0 still gives an
                                  // opaque colour
        {0x80332211, 0xFF112233},
        {0x00000000, 0xFF000000},
        {std::nullopt, DefaultAccentColor},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AccentFromRegistry(c.stored), c.argb) << std::hex << c.stored.value_or(0);
}

TEST(ThemeRules, PortalColorScheme)
{
    const struct
    {
        std::optional<uint32_t> scheme;
        bool light;
    } cases[] = {{0, true}, {1, false}, {2, true}, {3, true}, {std::nullopt, true}};
    for (const auto &c : cases)
        EXPECT_EQ(IsLightColorScheme(c.scheme), c.light) << c.scheme.value_or(12345);
}

TEST(ThemeRules, PortalAccentBecomesOpaqueARGB)
{
    using RGB = std::array<double, 3>;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        std::optional<RGB> rgb;
        TAlphaColor argb;
    } cases[] = {
        {RGB{0.0, 120 / 255.0, 215 / 255.0}, 0xFF0078D7},
        {RGB{1.0, 1.0, 1.0}, 0xFFFFFFFF},
        {RGB{0.0, 0.0, 0.0}, 0xFF000000},
        {RGB{0.5, 0.25, 0.75}, 0xFF8040BF}, // 127.5, 63.75 and 191.25 round to the nearest
        {RGB{1.0001, 0.0, 0.0}, DefaultAccentColor},
        {RGB{0.5, -0.5, 0.5}, DefaultAccentColor},
        {RGB{-1.0, -1.0, -1.0}, DefaultAccentColor}, // the portal's "unset"
        {RGB{nan, 0.0, 0.0}, DefaultAccentColor},
        {std::nullopt, DefaultAccentColor},
    };
    for (const auto &c : cases) {
        const RGB rgb = c.rgb.value_or(RGB{});
        EXPECT_EQ(AccentFromPortal(c.rgb), c.argb)
            << rgb[0] << ' ' << rgb[1] << ' ' << rgb[2] << " set " << c.rgb.has_value();
    }
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// A session bus of our own: dbus-daemon on a socket in a temporary directory,
// without service activation, so that nothing but the test's portal answers.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString config = dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                                  "Configuration 1.0//EN\" "
                                  "\"http://www.freedesktop.org/standards/dbus/1.0/"
                                  "busconfig.dtd\">\n"
                                  "<busconfig><type>session</type>"
                                  "<listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
                                  "<policy context=\"default\">"
                                  "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                  "</policy></busconfig>\n")
                       .arg(dir.filePath(QStringLiteral("bus")))
                       .toUtf8());
        file.close();
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                      QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
        if (daemon.waitForReadyRead(10000))
            address = QString::fromUtf8(daemon.readLine()).trimmed();
    }

    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished();
    }

    QTemporaryDir dir;
    QProcess daemon;
    QString address;
};

// The settings portal as the desktop offers it: Read answers with the value
// wrapped in one more variant. Keys it does not hold give the portal's
// NotFound error; a silent portal never answers at all.
class TestPortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    TestPortal(QVariantMap appearance, bool silent)
        : appearance(std::move(appearance)), silent(silent)
    {
    }

public slots:
    QDBusVariant Read(const QString &nameSpace, const QString &key)
    {
        if (silent) {
            setDelayedReply(true);
            return {};
        }
        if (nameSpace != QLatin1String("org.freedesktop.appearance") || !appearance.contains(key)) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                           QStringLiteral("Requested setting not found"));
            return {};
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(appearance.value(key))));
    }

private:
    const QVariantMap appearance;
    const bool silent;
};

QVariant rgb(double red, double green, double blue)
{
    QDBusArgument argument;
    argument.beginStructure();
    argument << red << green << blue;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

QVariant pair(double first, double second)
{
    QDBusArgument argument;
    argument.beginStructure();
    argument << first << second;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

class PortalTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { bus = new PrivateBus; }
    static void TearDownTestSuite()
    {
        delete bus;
        bus = nullptr;
    }

    void SetUp() override
    {
        ASSERT_FALSE(bus->address.isEmpty()) << "dbus-daemon did not start";
        client = QDBusConnection::connectToBus(bus->address, QStringLiteral("relieva-client"));
        ASSERT_TRUE(client.isConnected());
    }

    void TearDown() override
    {
        withdrawPortal();
        QDBusConnection::disconnectFromBus(QStringLiteral("relieva-client"));
    }

    // Puts a portal with these settings on the bus, answering from its own
    // thread as a separate process would.
    void offerPortal(const QVariantMap &appearance, bool silent = false)
    {
        portal = new TestPortal(appearance, silent);
        portal->moveToThread(&thread);
        thread.start();
        QDBusConnection service =
            QDBusConnection::connectToBus(bus->address, QStringLiteral("relieva-portal"));
        ASSERT_TRUE(service.registerObject(PortalPath, portal, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(PortalService));
    }

    void withdrawPortal()
    {
        if (!portal) return;
        QDBusConnection service(QStringLiteral("relieva-portal"));
        service.unregisterObject(PortalPath);
        service.unregisterService(PortalService);
        QDBusConnection::disconnectFromBus(QStringLiteral("relieva-portal"));
        thread.quit();
        thread.wait();
        delete portal;
        portal = nullptr;
    }

    bool light() const { return IsLightColorScheme(PortalColorScheme(client)); }
    TAlphaColor accent() const { return AccentFromPortal(PortalAccentColor(client)); }

    static inline PrivateBus *bus = nullptr;
    QDBusConnection client{QString()};
    QThread thread;
    TestPortal *portal = nullptr;
};

} // namespace

TEST_F(PortalTest, DarkWithAccent)
{
    offerPortal({{"color-scheme", 1u}, {"accent-color", rgb(1.0, 0.5, 0.0)}});
    EXPECT_FALSE(light());
    EXPECT_EQ(accent(), 0xFFFF8000u);
}

TEST_F(PortalTest, LightAndNoPreferenceAreLight)
{
    for (const uint scheme : {2u, 0u}) {
        offerPortal({{"color-scheme", scheme}});
        EXPECT_TRUE(light()) << scheme;
        withdrawPortal();
    }
}

TEST_F(PortalTest, NoAccentGivesTheDefault)
{
    offerPortal({{"color-scheme", 1u}});
    EXPECT_FALSE(light());
    EXPECT_EQ(accent(), DefaultAccentColor);
}

TEST_F(PortalTest, MalformedRepliesAreIgnored)
{
    offerPortal({{"color-scheme", QStringLiteral("dark")}, {"accent-color", pair(1.0, 0.0)}});
    EXPECT_TRUE(light());
    EXPECT_EQ(accent(), DefaultAccentColor);
}

TEST_F(PortalTest, NoServiceGivesLightAndTheDefault)
{
    EXPECT_TRUE(light());
    EXPECT_EQ(accent(), DefaultAccentColor);
}

TEST_F(PortalTest, NoAnswerGivesLightAndTheDefault)
{
    offerPortal({{"color-scheme", 1u}, {"accent-color", rgb(1.0, 0.5, 0.0)}}, true);
    EXPECT_TRUE(light());
    EXPECT_EQ(accent(), DefaultAccentColor);
}

TEST_F(PortalTest, NoBusGivesLightAndTheDefault)
{
    client = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/relieva-bus"),
                                           QStringLiteral("relieva-nobus"));
    ASSERT_FALSE(client.isConnected());
    EXPECT_TRUE(light());
    EXPECT_EQ(accent(), DefaultAccentColor);
    QDBusConnection::disconnectFromBus(QStringLiteral("relieva-nobus"));
}

// The start-up work reads the session bus of the environment. Qt keeps the
// first session connection of the process, so this is the one test that uses it.
TEST_F(PortalTest, StartUpFollowsTheSessionBusPortal)
{
    offerPortal({{"color-scheme", 1u}, {"accent-color", rgb(0.0, 0.5, 1.0)}});
    const QByteArray previous = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address.toUtf8());
    InitializeTheme();
    qputenv("DBUS_SESSION_BUS_ADDRESS", previous);
    EXPECT_FALSE(IsWin10);
    EXPECT_FALSE(IsLightTheme);
    EXPECT_EQ(SysAccentColor, 0xFF0080FFu);
    IsLightTheme = true;
    SysAccentColor = 0;
}

#include "tst_uFMXTheme.moc"

#endif
