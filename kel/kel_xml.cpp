#include "kel_xml.h"

#include <QXmlStreamReader>

QString TXMLNode::Attribute(QStringView Name) const {
    for (const auto& [name, value] : FAttributes)
        if (name == Name)
            return value;
    return QString();
}

const TXMLNode* TXMLNode::FirstChild() const {
    return FChildren.empty() ? nullptr : FChildren.front().get();
}

const TXMLNode* TXMLNode::ChildNamed(QStringView Name) const {
    for (const auto& child : FChildren)
        if (child->FName == Name)
            return child.get();
    return nullptr;
}

const TXMLNode* TXMLNode::NextSibling() const {
    if (!FParent || FIndex + 1 >= FParent->FChildren.size())
        return nullptr;
    return FParent->FChildren[FIndex + 1].get();
}

// Built without recursion by a streaming reader, which takes time in
// proportion to the text however deep it nests, and caps internal entity
// expansion.
std::unique_ptr<TXMLNode> ParseXML(const QString& Text) {
    QXmlStreamReader reader(Text);
    reader.setNamespaceProcessing(false); // names are taken as written
    std::unique_ptr<TXMLNode> root;
    std::vector<TXMLNode*> open;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (int(open.size()) >= MaxXMLDepth)
                throw EXMLError("XML elements nested more than " + std::to_string(MaxXMLDepth) +
                                " levels deep");
            auto node = std::make_unique<TXMLNode>();
            node->FName = reader.qualifiedName().toString();
            for (const QXmlStreamAttribute& a : reader.attributes())
                node->FAttributes.emplace_back(a.qualifiedName().toString(), a.value().toString());
            TXMLNode* raw = node.get();
            if (open.empty()) {
                root = std::move(node);
            } else {
                TXMLNode* parent = open.back();
                raw->FParent = parent;
                raw->FIndex = parent->FChildren.size();
                parent->FChildren.push_back(std::move(node));
            }
            open.push_back(raw);
            break;
        }
        case QXmlStreamReader::EndElement:
            open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (!open.empty() && !reader.isWhitespace())
                open.back()->FText += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        throw EXMLError(QStringLiteral("XML error at line %1, column %2: %3")
                            .arg(reader.lineNumber())
                            .arg(reader.columnNumber())
                            .arg(reader.errorString())
                            .toStdString());
    if (!root)
        throw EXMLError("XML text without an element");
    return root;
}
