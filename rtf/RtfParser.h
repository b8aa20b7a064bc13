#pragma once
// The RTF reader's state machine: groups and their destinations, character
// and paragraph properties, fonts, colours, code pages, \uN and its
// fallback, pictures, fields, lists and table rows. It reads what the
// tokenizer finds and tells a sink (RtfSink.h) what the document holds.

#include <QByteArrayView>

class TRtfSink;

// Reads Data, a whole RTF document, into Sink.
void ParseRtf(QByteArrayView Data, TRtfSink& Sink);
