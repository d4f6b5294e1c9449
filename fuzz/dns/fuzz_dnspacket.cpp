// A received message read as the proxy reads it; its bytes come back unchanged, and a well-formed one rebuilt from
// its records reads back as the same records.
#include "fuzzsupport.h"

#include "dns/packet.h"

#include <QtGlobal>

using namespace Velmor::DNS;

namespace {

bool plainName(const QByteArray &name)
{
    // Names whose labels hold dots cannot be told apart from more labels once joined; they are written differently.
    return name.isEmpty() || (!name.startsWith('.') && !name.endsWith('.') && !name.contains(".."));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool silenced = (Fuzz::silenceMessages(), true);
    Q_UNUSED(silenced);
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Packet message(bytes);
    const bool wellFormed = message.isWellFormed();
    message.parse(Packet::Additional);
    Fuzz::check(message.toByteArray() == bytes);

    Packet forwarded = message;
    if (forwarded.appendIdentification(7)) {
        Fuzz::check(forwarded.toByteArray().size() == bytes.size() + Packet::IdentificationRecordSize);
        Fuzz::check(forwarded.additionalCount() == quint16(message.additionalCount() + 1));
    }
    Fuzz::check(message.toByteArray() == bytes);

    // What an error answer keeps of a request: a prefix of it, whose every announced record reads.
    Packet trimmed = message;
    trimmed.dropUnreadableSections();
    if (bytes.size() >= Packet::HeaderSize) {
        const QByteArray kept = trimmed.toByteArray();
        Fuzz::check(kept.size() <= bytes.size()
            && kept.mid(Packet::HeaderSize) == bytes.mid(Packet::HeaderSize, kept.size() - Packet::HeaderSize));
        const Packet reread(trimmed.toByteArray());
        reread.parse(Packet::Additional);
        Fuzz::check(!reread.hasParseError());
    }
    Fuzz::check(message.toByteArray() == bytes);

    const Packet::Sections &sections = message.parse(Packet::Additional);
    if (!wellFormed || message.hasParseError())
        return 0;
    for (const auto &question : sections.questions) {
        if (!plainName(question->name))
            return 0;
    }
    for (const auto *list : { &sections.answers, &sections.authority, &sections.additional }) {
        for (const auto &record : *list) {
            if (!plainName(record->name))
                return 0;
        }
    }
    Packet rebuilt = message;
    rebuilt.setQuestions(message.questions());
    const Packet reread(rebuilt.toByteArray());
    Fuzz::check(reread.isWellFormed());
    const Packet::Sections &again = reread.parse(Packet::Additional);
    Fuzz::check(!reread.hasParseError());
    Fuzz::check(again.questions.size() == sections.questions.size());
    for (qsizetype i = 0; i < sections.questions.size(); ++i) {
        Fuzz::check(again.questions.at(i)->name == sections.questions.at(i)->name);
        Fuzz::check(again.questions.at(i)->type == sections.questions.at(i)->type);
    }
    Fuzz::check(again.answers.size() == sections.answers.size());
    Fuzz::check(again.authority.size() == sections.authority.size());
    Fuzz::check(again.additional.size() == sections.additional.size());
    for (qsizetype i = 0; i < sections.answers.size(); ++i) {
        Fuzz::check(again.answers.at(i)->name == sections.answers.at(i)->name);
        Fuzz::check(again.answers.at(i)->type == sections.answers.at(i)->type);
        Fuzz::check(again.answers.at(i)->ttl == sections.answers.at(i)->ttl);
    }
    Fuzz::check(reread.isResponseTo(message) == (message.isResponse()));
    return 0;
}
