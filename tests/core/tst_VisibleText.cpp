#include "core/VisibleText.h"

#include <QTest>

// Outside text as a window shows it: what draws nothing or moves other
// characters is written out, everything else stays exactly as it was.
class TestVisibleText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const auto u = [](std::initializer_list<char32_t> codePoints) {
            return QString::fromUcs4(std::data(codePoints), qsizetype(codePoints.size()));
        };
        // Left as they are.
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("command") << u"ls -la; echo \"a\\tb\" | grep 'x\\|y'"_qs
                                 << u"ls -la; echo \"a\\tb\" | grep 'x\\|y'"_qs;
        QTest::newRow("markup stays text")
            << u"<font color=\"x\">&amp;<br></font>"_qs << u"<font color=\"x\">&amp;<br></font>"_qs;
        QTest::newRow("tab and line feed") << u"a\tb\nc"_qs << u"a\tb\nc"_qs;
        QTest::newRow("scripts") << u"Привет Γειά 日本語 שלום مرحبا हिन्दी"_qs
                                 << u"Привет Γειά 日本語 שלום مرحبا हिन्दी"_qs;
        QTest::newRow("emoji, surrogate pairs")
            << u"ok 😀👍🏽🇩🇪"_qs << u"ok 😀👍🏽🇩🇪"_qs;
        QTest::newRow("emoji joined by ZWJ")
            << u"👨‍👩‍👧 ❤️‍🔥"_qs << u"👨‍👩‍👧 ❤️‍🔥"_qs;
        QTest::newRow("combining accent, variation selector")
            << u"e\u0301 ✔\uFE0E"_qs << u"e\u0301 ✔\uFE0E"_qs;
        QTest::newRow("closing bracket alone") << u"a⟧b"_qs << u"a⟧b"_qs;
        // Written out, one class at a time.
        QTest::newRow("NUL") << u({ 'a', 0, 'b' }) << u"a⟦U+0000⟧b"_qs;
        QTest::newRow("carriage return, escape") << u"a\r\u001B[2Kb"_qs << u"a⟦U+000D⟧⟦U+001B⟧[2Kb"_qs;
        QTest::newRow("DEL and C1") << u"\u007F\u0085\u009B"_qs << u"⟦U+007F⟧⟦U+0085⟧⟦U+009B⟧"_qs;
        QTest::newRow("zero-width") << u"r\u200Bm \u200C\u200D\u2060\uFEFF"_qs
                                    << u"r⟦U+200B⟧m ⟦U+200C⟧⟦U+200D⟧⟦U+2060⟧⟦U+FEFF⟧"_qs;
        QTest::newRow("invisible operators")
            << u"\u2061\u2062\u2063\u2064"_qs << u"⟦U+2061⟧⟦U+2062⟧⟦U+2063⟧⟦U+2064⟧"_qs;
        QTest::newRow("bidi marks") << u"\u200E\u200F\u061C"_qs << u"⟦U+200E⟧⟦U+200F⟧⟦U+061C⟧"_qs;
        QTest::newRow("bidi override") << u"ls \u202Ehs.txt\u202C"_qs << u"ls ⟦U+202E⟧hs.txt⟦U+202C⟧"_qs;
        QTest::newRow("bidi embeddings") << u"\u202A\u202B\u202D"_qs << u"⟦U+202A⟧⟦U+202B⟧⟦U+202D⟧"_qs;
        QTest::newRow("bidi isolates")
            << u"\u2066\u2067\u2068\u2069"_qs << u"⟦U+2066⟧⟦U+2067⟧⟦U+2068⟧⟦U+2069⟧"_qs;
        QTest::newRow("other format: soft hyphen") << u"cu\u00ADrl"_qs << u"cu⟦U+00AD⟧rl"_qs;
        QTest::newRow("tag characters") << u({ 'a', 0xE0041, 0xE007F }) << u"a⟦U+E0041⟧⟦U+E007F⟧"_qs;
        QTest::newRow("separators") << u"a\u2028b\u2029c"_qs << u"a⟦U+2028⟧b⟦U+2029⟧c"_qs;
        QTest::newRow("spaces that look plain")
            << u"rm\u00A0-rf\u2003/\u3000"_qs << u"rm⟦U+00A0⟧-rf⟦U+2003⟧/⟦U+3000⟧"_qs;
        QTest::newRow("blank letters") << u"\u3164\u2800\u034F"_qs << u"⟦U+3164⟧⟦U+2800⟧⟦U+034F⟧"_qs;
        QTest::newRow("noncharacter") << u({ 0xFFFF, 0x10FFFE }) << u"⟦U+FFFF⟧⟦U+10FFFE⟧"_qs;
        QTest::newRow("ZWJ between letters") << u"a\u200Db 😀\u200Dx"_qs << u"a⟦U+200D⟧b 😀⟦U+200D⟧x"_qs;
        QTest::newRow("marker cannot be forged") << u"⟦U+202E⟧"_qs << u"⟦U+27E6⟧U+202E⟧"_qs;
        QString lone = QStringLiteral("a_b_");
        lone[1] = QChar(char16_t(0xD83D));
        lone[3] = QChar(char16_t(0xDE00));
        QTest::newRow("lone surrogates") << lone << u"a⟦U+D83D⟧b⟦U+DE00⟧"_qs;
    }
    void shown()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(visibleText(text), shown);
    }
};

QTEST_GUILESS_MAIN(TestVisibleText)
#include "tst_VisibleText.moc"
