#include "XmlWellFormedness.h"

#include "XmlCharacters.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <vector>

namespace {

// The byte offset of the reader's position, which it counts in UTF-16 units of the decoded text.
size_t ByteOffset(std::string_view bytes, qint64 characters) {
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return static_cast<size_t>(text.left(static_cast<qsizetype>(characters)).toUtf8().size());
}

TXmlFault FaultAt(std::string_view bytes, const QXmlStreamReader& reader, std::string text) {
    return {std::move(text), ByteOffset(bytes, reader.characterOffset())};
}

// The reader expands the entities that a DOCTYPE declares; pugixml keeps their references as
// written. In a well-formed document, "&name;" after the DOCTYPE is such a reference or stands in
// a comment, CDATA section or processing instruction; those are refused too, not told apart.
std::optional<TXmlFault> DeclaredEntityReference(std::string_view bytes, size_t doctypeEnd,
                                                 const std::vector<std::string>& declared) {
    std::optional<TXmlFault> first;
    for (const std::string& name : declared) {
        const size_t at = bytes.find("&" + name + ";", doctypeEnd);
        if (at != std::string_view::npos && (!first || at < first->Offset))
            first = TXmlFault{"Entity '" + name + "' not supported; write its text instead", at};
    }
    return first;
}

// The reader stops just after a character that XML forbids and does not name it; the first such
// character up to where it stopped is the fault.
TXmlFault ReaderFault(std::string_view bytes, const QXmlStreamReader& reader) {
    TXmlFault fault = FaultAt(bytes, reader, reader.errorString().toStdString());
    const size_t forbidden = FindForbiddenXmlChar(bytes);
    if (forbidden <= fault.Offset)
        fault = {"Character not allowed in XML", forbidden};
    return fault;
}

std::vector<std::string> EntityNames(const QXmlStreamReader& reader) {
    std::vector<std::string> names;
    for (const QXmlStreamEntityDeclaration& entity : reader.entityDeclarations())
        names.push_back(entity.name().toString().toStdString());
    return names;
}

} // namespace

std::optional<TXmlFault> FindXmlFault(std::string_view bytes) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
    std::vector<std::string> declared;
    size_t doctypeEnd = 0;
    size_t depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD) {
            declared = EntityNames(reader);
            doctypeEnd = ByteOffset(bytes, reader.characterOffset());
        } else if (token == QXmlStreamReader::StartElement) {
            if (++depth > MaxXmlNestingDepth)
                return FaultAt(bytes, reader, "Elements nested too deeply");
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    if (reader.hasError())
        return ReaderFault(bytes, reader);
    return DeclaredEntityReference(bytes, doctypeEnd, declared);
}
