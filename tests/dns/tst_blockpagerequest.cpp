#include "dns/blockpagerequest.h"

#include <QTest>

using namespace Velmor;

class tst_BlockPageRequest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headerLength_data();
    void headerLength();
    void requestLine_data();
    void requestLine();
    void answer_data();
    void answer();
    void headAnswer();
    void encodeQueryValue_data();
    void encodeQueryValue();
};

void tst_BlockPageRequest::headerLength_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("length");
    QTest::newRow("CR LF") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n\r\nbody") << 27;
    QTest::newRow("bare LF") << QByteArray("GET / HTTP/1.1\nHost: a\n\n") << 24;
    QTest::newRow("incomplete") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n") << 0;
    QTest::newRow("ends in CR") << QByteArray("GET / HTTP/1.1\r\n\r") << 0;
    QTest::newRow("no line end") << QByteArray("GET / HTTP/1.1") << 0;
}

void tst_BlockPageRequest::headerLength()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, length);
    QCOMPARE(BlockPage::headerLength(buffer), qsizetype(length));
}

void tst_BlockPageRequest::requestLine_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("version");
    QTest::newRow("GET") << QByteArray("GET /?a=b HTTP/1.1\r\n\r\n") << true << "/?a=b"
                         << "HTTP/1.1";
    QTest::newRow("POST, HTTP/1.0") << QByteArray("POST /x HTTP/1.0\r\n\r\n") << true << "/x"
                                    << "HTTP/1.0";
    QTest::newRow("ends at LF") << QByteArray("GET / HTTP/1.1\nX: y\n\n") << true << "/"
                                << "HTTP/1.1";
    QTest::newRow("fourth piece refused") << QByteArray("GET / HTTP/1.1 x\r\n\r\n") << false << ""
                                          << "";
    QTest::newRow("two pieces") << QByteArray("GET /\r\n\r\n") << false << ""
                                << "";
    QTest::newRow("double space") << QByteArray("GET  / HTTP/1.1\r\n\r\n") << false << ""
                                  << "";
    QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\n\r\n") << false << ""
                              << "";
    QTest::newRow("lower case version") << QByteArray("GET / http/1.1\r\n\r\n") << false << ""
                                        << "";
    // A bare LF ends the line early, so what follows cannot reach the answer's header.
    QTest::newRow("LF inside the target") << QByteArray("GET /?hostname=a\nLocation: x HTTP/1.1\r\n\r\n") << false << ""
                                          << "";
    QTest::newRow("CR inside the line") << QByteArray("GET /?h=a\rX HTTP/1.1\r\n\r\n") << false << ""
                                        << "";
    QTest::newRow("NUL") << QByteArray("GET /\0 HTTP/1.1\r\n\r\n", 20) << false << ""
                         << "";
    QTest::newRow("DEL") << QByteArray("GET /\x7f HTTP/1.1\r\n\r\n") << false << ""
                         << "";
    QTest::newRow("Latin-1 byte") << QByteArray("GET /\xe9 HTTP/1.1\r\n\r\n") << true
                                  << QString(QChar(0xe9)).prepend('/') << "HTTP/1.1";
}

void tst_BlockPageRequest::requestLine()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, ok);
    QFETCH(QString, path);
    QFETCH(QString, version);
    QString readPath, readVersion;
    QCOMPARE(BlockPage::parseRequestLine(header, &readPath, &readVersion), ok);
    if (ok) {
        QCOMPARE(readPath, path);
        QCOMPARE(readVersion, version);
    }
}

void tst_BlockPageRequest::answer_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("location");

    QTest::newRow("redirect") << "/?blockpage=10.0.0.1&hostname=a&url=b"
                              << "http://10.0.0.1/blocked?hostname=a&token=7&url=b";
    QTest::newRow("path before ? ignored") << "/anything?hostname=h&blockpage=192.168.1.2"
                                           << "http://192.168.1.2/blocked?hostname=h&token=7&url=";
    QTest::newRow("hostname twice") << "/?hostname=first&blockpage=1.2.3.4&hostname=last&url=u"
                                    << "http://1.2.3.4/blocked?hostname=last&token=7&url=u";
    QTest::newRow("escapes pass unchanged") << "/?blockpage=1.2.3.4&hostname=a%2Eb&url=http%3A%2F%2Fx%41"
                                            << "http://1.2.3.4/blocked?hostname=a%2Eb&token=7&url=http%3A%2F%2Fx%41";
    QTest::newRow("url not made absolute") << "/?blockpage=1.2.3.4&hostname=a&url=%41%42"
                                           << "http://1.2.3.4/blocked?hostname=a&token=7&url=%41%42";
    QTest::newRow("unsafe url bytes encoded") << "/?blockpage=1.2.3.4&hostname=a&url=x\"<y>%zz\\"
                                              << "http://1.2.3.4/blocked?hostname=a&token=7&url=x%22%3Cy%3E%25zz%5C";
    QTest::newRow("'#' in hostname does not start a fragment") << "/?blockpage=1.2.3.4&hostname=a#b&url=u"
                                                               << "http://1.2.3.4/blocked?hostname=a%23b&token=7&url=u";
    QTest::newRow("markup in hostname encoded") << "/?blockpage=1.2.3.4&hostname=<a\">&url=u"
                                                << "http://1.2.3.4/blocked?hostname=%3Ca%22%3E&token=7&url=u";
    // The request line is read byte for byte as Latin-1; each byte is encoded once, not as UTF-8 first.
    QTest::newRow("non-ASCII hostname byte encoded once")
        << QString::fromLatin1("/?blockpage=1.2.3.4&hostname=\xc3\xa9.test&url=u")
        << "http://1.2.3.4/blocked?hostname=%C3%A9.test&token=7&url=u";
    QTest::newRow("url with '=' kept whole") << "/?blockpage=1.2.3.4&hostname=a&url=http://x/?q=1=2"
                                             << "http://1.2.3.4/blocked?hostname=a&token=7&url=http://x/?q=1=2";
    QTest::newRow("'#' in url encoded") << "/?blockpage=1.2.3.4&hostname=a&url=http://x/#top"
                                        << "http://1.2.3.4/blocked?hostname=a&token=7&url=http://x/%23top";
    QTest::newRow("empty pieces skipped") << "/?&&blockpage=1.2.3.4&&hostname=a&url"
                                          << "http://1.2.3.4/blocked?hostname=a&token=7&url=";
    QTest::newRow("no hostname") << "/?blockpage=10.0.0.1&url=b"
                                 << "";
    QTest::newRow("empty hostname") << "/?blockpage=10.0.0.1&hostname=&url=b"
                                    << "";
    QTest::newRow("blockpage 10.1") << "/?blockpage=10.1&hostname=a"
                                    << "";
    QTest::newRow("blockpage with blank") << "/?blockpage=%2010.0.0.1&hostname=a"
                                          << "";
    QTest::newRow("blockpage octal part") << "/?blockpage=10.0.0.010&hostname=a"
                                          << "";
    QTest::newRow("no query") << "/"
                              << "";
}

void tst_BlockPageRequest::answer()
{
    QFETCH(QString, path);
    QFETCH(QString, location);
    const QDateTime time(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);
    const QByteArray answer = BlockPage::answer(path, QStringLiteral("HTTP/1.1"), 7, time);
    const QByteArray date = "Tue, 05 Mar 2024 07:08:09 GMT";
    if (location.isEmpty()) {
        QCOMPARE(answer,
            "HTTP/1.1 200 Ok\r\nServer: Velmor Agent\r\nContent-Type: text/html; charset=UTF-8\r\n"
            "Connection: close\r\nContent-Length: 42\r\nDate: "
                + date + "\r\nCache-Control: no-cache,no-store,max-age=0,must-revalidate\r\nExpires: " + date
                + "\r\n\r\n<html><body>Who is here? O_o</body></html>");
    } else {
        QCOMPARE(answer,
            "HTTP/1.1 303 See Other\r\nLocation: " + location.toUtf8()
                + "\r\nConnection: close\r\nContent-Length: 0\r\nDate: " + date
                + "\r\nCache-Control: no-cache,no-store,max-age=0,must-revalidate\r\nExpires: " + date + "\r\n\r\n");
    }
}

void tst_BlockPageRequest::headAnswer()
{
    const QDateTime time(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);
    const QByteArray page = BlockPage::answer(QStringLiteral("/"), QStringLiteral("HTTP/1.1"), 7, time);
    const QByteArray head = BlockPage::answer(QStringLiteral("/"), QStringLiteral("HTTP/1.1"), 7, time, false);
    // The same header, the length of the body it would have, and no body.
    QVERIFY(head.endsWith("\r\n\r\n"));
    QVERIFY(head.contains("\r\nContent-Length: 42\r\n"));
    QCOMPARE(head + "<html><body>Who is here? O_o</body></html>", page);
    QString path, version, method;
    QVERIFY(BlockPage::parseRequestLine("HEAD /x HTTP/1.1\r\n\r\n", &path, &version, &method));
    QCOMPARE(method, QStringLiteral("HEAD"));
}

void tst_BlockPageRequest::encodeQueryValue_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("plain") << "b" << QByteArray("b");
    QTest::newRow("what a query holds stays") << "http://h/p?q=1@!$'()*+,;" << QByteArray("http://h/p?q=1@!$'()*+,;");
    QTest::newRow("what would end the value is encoded") << "a#f[]&b" << QByteArray("a%23f%5B%5D%26b");
    QTest::newRow("escapes stay") << "%41%2f" << QByteArray("%41%2f");
    QTest::newRow("lone percent") << "%" << QByteArray("%25");
    QTest::newRow("percent and one digit") << "%4" << QByteArray("%254");
    QTest::newRow("Latin-1") << QString(QChar(0xe9)) << QByteArray("%E9");
    QTest::newRow("controls") << QStringLiteral("a\r\nb") << QByteArray("a%0D%0Ab");
}

void tst_BlockPageRequest::encodeQueryValue()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, encoded);
    QCOMPARE(BlockPage::encodeQueryValue(url), encoded);
}

QTEST_GUILESS_MAIN(tst_BlockPageRequest)
#include "tst_blockpagerequest.moc"
