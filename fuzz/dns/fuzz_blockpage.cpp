// The block page's reading of a request and its answer: whatever arrives, the answer's header lines carry no CR or
// LF of their own and the header ends where it should.
#include "fuzzsupport.h"

#include "dns/blockpagerequest.h"

namespace {

void checkAnswer(const QByteArray &answer)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    Fuzz::check(end > 0);
    const QList<QByteArray> lines = answer.left(end).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        // Every line but the last ends in CR LF; no line holds a CR or LF of its own.
        if (i + 1 < lines.size()) {
            Fuzz::check(line.endsWith('\r'));
            line.chop(1);
        }
        Fuzz::check(!line.isEmpty() && !line.contains('\r'));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray buffer(reinterpret_cast<const char *>(data), qsizetype(size));
    const QDateTime time = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    const qsizetype length = Velmor::BlockPage::headerLength(buffer.left(Velmor::BlockPage::MaxHeaderSize));
    Fuzz::check(length >= 0 && length <= qMin<qsizetype>(buffer.size(), Velmor::BlockPage::MaxHeaderSize));
    QString path, version;
    if (Velmor::BlockPage::parseRequestLine(buffer, &path, &version)) {
        Fuzz::check(version == QLatin1String("HTTP/1.0") || version == QLatin1String("HTTP/1.1"));
        checkAnswer(Velmor::BlockPage::answer(path, version, 7, time));
    }
    checkAnswer(Velmor::BlockPage::errorAnswer(Velmor::BlockPage::BadRequest, time));
    // The URL parameter alone, however it was sent.
    const QByteArray url = Velmor::BlockPage::encodeQueryValue(QString::fromLatin1(buffer));
    for (const char c : url)
        Fuzz::check(quint8(c) > 0x20 && quint8(c) < 0x7F && c != '"' && c != '<' && c != '>');
    return 0;
}
