#pragma once
// Pasted HTML (from a browser or a word processor) made into page content:
// Qt's import keeps lists, tables and links; pictures become picture objects
// of the page, and nothing the HTML names is ever loaded from a file or the
// network.

#include <QString>
#include <QTextDocumentFragment>

#include <optional>

class QTextDocument;

// Pasted HTML longer than this is taken as plain text.
constexpr qsizetype kMaxPastedHtml = qsizetype(128) << 20;
// A data: URL whose bytes are larger than this is not decoded.
constexpr qsizetype kMaxDataUrlBytes = qsizetype(64) << 20;

struct THtmlContent {
    QTextDocumentFragment Fragment;
    // Whether the HTML holds text of its own, besides images and their alt
    // text.
    bool HasText = false;
};

// The content that Html stands for, to be inserted into Doc; its pictures'
// images are added to Doc as resources. An <img> whose source is a data: URL
// of an image becomes a picture object, shown at the size the HTML gives or
// its own; any other <img> is replaced by its alt text. Nothing when the HTML
// is too large or too deeply nested to be read in bounded time.
std::optional<THtmlContent> ContentOfHtml(const QString& Html, QTextDocument* Doc);
