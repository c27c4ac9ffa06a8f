#pragma once

// Qt's own warnings (the program's log has categories of its own, "jackwell.") fail the test they
// come in: each says that something went wrong which the test did not look at, such as a database
// connection removed while still in use. Passed over: what the offscreen platform cannot do, a
// desktop without a sound server, and sound files made unplayable on purpose.

#include <QString>

#include <gtest/gtest.h>

namespace jackwell::testing {

inline void failOnQtWarnings() {
    static QtMessageHandler passOn = nullptr;
    passOn = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            const QByteArrayView category(context.category ? context.category : "default");
            const bool expected = text.startsWith("This plugin does not support") ||
                                  text.startsWith("PulseAudioService:") ||
                                  text.contains("Error decoding source");
            if (type != QtDebugMsg && type != QtInfoMsg && !category.startsWith("jackwell") &&
                !expected && ::testing::UnitTest::GetInstance()->current_test_info())
                ADD_FAILURE() << "Qt warned (" << category.data() << "): " << text.toStdString();
            passOn(type, context, text);
        });
}

} // namespace jackwell::testing
