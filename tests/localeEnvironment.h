#pragma once

// Sets the locale variables for one test and restores them afterwards.

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <optional>

class LocaleEnvironment
{
public:
    static constexpr std::array<const char *, 3> Names{"LC_ALL", "LC_MESSAGES", "LANG"};

    // Values for LC_ALL, LC_MESSAGES and LANG; nullptr leaves a variable unset.
    explicit LocaleEnvironment(std::array<const char *, 3> values)
    {
        for (size_t i = 0; i < Names.size(); ++i) {
            if (qEnvironmentVariableIsSet(Names[i])) saved[i] = qgetenv(Names[i]);
            set(Names[i], values[i] ? std::optional<QByteArray>(values[i]) : std::nullopt);
        }
    }

    ~LocaleEnvironment()
    {
        for (size_t i = 0; i < Names.size(); ++i)
            set(Names[i], saved[i]);
    }

    LocaleEnvironment(const LocaleEnvironment &) = delete;
    LocaleEnvironment &operator=(const LocaleEnvironment &) = delete;

private:
    static void set(const char *name, const std::optional<QByteArray> &value)
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }

    std::array<std::optional<QByteArray>, 3> saved;
};

// The environment of a Japanese user and of an English one.
inline LocaleEnvironment japaneseUser()
{
    return LocaleEnvironment({nullptr, nullptr, "ja_JP.UTF-8"});
}
inline LocaleEnvironment englishUser()
{
    return LocaleEnvironment({nullptr, nullptr, "en_US.UTF-8"});
}
