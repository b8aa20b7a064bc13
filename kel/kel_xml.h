#pragma once
// A read-only XML element tree for the persistence readers: element names,
// attributes, child elements in document order and next siblings. Text that
// is only whitespace is dropped.

#include "Exception.h"

#include <QString>
#include <QStringView>
#include <memory>
#include <utility>
#include <vector>

// Text that is not well-formed XML, or nests deeper than the reader takes.
class EXMLError : public Exception {
public:
    using Exception::Exception;
};

class TXMLNode {
public:
    const QString& NodeName() const { return FName; }
    // "" when the element has no such attribute.
    QString Attribute(QStringView Name) const;
    // The element's text, its whitespace-only pieces left out.
    const QString& Text() const { return FText; }
    // Child elements or text.
    bool HasChildNodes() const { return !FChildren.empty() || !FText.isEmpty(); }
    int ChildCount() const { return int(FChildren.size()); }
    // Null when there is none.
    const TXMLNode* FirstChild() const;
    const TXMLNode* ChildNamed(QStringView Name) const;
    const TXMLNode* NextSibling() const;

private:
    friend std::unique_ptr<TXMLNode> ParseXML(const QString& Text);

    QString FName;
    std::vector<std::pair<QString, QString>> FAttributes;
    QString FText;
    std::vector<std::unique_ptr<TXMLNode>> FChildren;
    const TXMLNode* FParent = nullptr;
    size_t FIndex = 0; // among the parent's children
};

// Elements deeper than this are refused; it bounds the recursion of every
// reader that walks the tree.
constexpr int MaxXMLDepth = 1000;

// The document element of Text, or EXMLError.
std::unique_ptr<TXMLNode> ParseXML(const QString& Text);
