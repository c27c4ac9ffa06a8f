#pragma once

// Qt's own warnings (the program's log has its own "jackwell." categories) fail their test: each
// says something went wrong unlooked at, such as a database connection removed in use. Passed over:
// what the offscreen platform cannot do, no sound server, sound files spoilt on purpose.

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
