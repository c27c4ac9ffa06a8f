#pragma once

// A made-up player for the tests of where files live: HOME in a temporary folder and no
// XDG_CONFIG_HOME, both given back at the end; and a program folder `bin`, installed by install().

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace jackwell::testing {

// Sets (or, with a null value, unsets) an environment variable until the end of the scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : name_(name)
        , old_(qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()) {
        set(value);
    }
    ~ScopedEnvironment() { set(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const QByteArray& value) { value.isNull() ? qunsetenv(name_) : qputenv(name_, value); }
    const char* name_;
    QByteArray old_; // null when it was not set
};

struct PlayerHome {
    QTemporaryDir root;
    ScopedEnvironment home{"HOME", path("home").toLocal8Bit()};
    ScopedEnvironment configHome{"XDG_CONFIG_HOME", QByteArray()};

    PlayerHome() {
        EXPECT_TRUE(QDir(root.path()).mkpath("home"));
        EXPECT_TRUE(QDir(root.path()).mkpath("bin"));
    }
    QString path(const QString& relative) const { return QDir(root.path()).filePath(relative); }
    QString bin() const { return path("bin"); }
    QString configDir() const { return path("home/.config/Jackwell"); }
    // ../share/jackwell beside bin: the layout of an installed program.
    void install() const { EXPECT_TRUE(QDir(root.path()).mkpath("share/jackwell/sounds")); }
};

} // namespace jackwell::testing
