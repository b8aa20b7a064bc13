#pragma once
// Object persistence: the shared routines of the XML, text-file and stream
// forms, and their errors. The forms themselves are methods of TKelObj,
// TKelList and TKelListObj (kel_utils.h).

#include "Stream.h"
#include "kel_textfile.h"
#include "kel_utils.h"
#include "kel_xml.h"

#include <QString>
#include <cstdint>

// A class name read from stored data that the class registry does not hold:
// "Class <name> not found".
class EClassNotFound : public Exception {
public:
    explicit EClassNotFound(const QString& Name);
};

// Raised by TKelObj's stream operations.
class ENotImplemented : public Exception {
public:
    using Exception::Exception;
};

// Readers refuse lists nested deeper than this, so that stored data cannot
// drive their recursion off the stack; writers refuse them too, so that what
// is written reads back.
constexpr int MaxListNesting = 100;

// How many items stored data may ask for; every count is checked before any
// item is made. Items of a class that stores data of its own take room in
// the data, so a count larger than the rest of it could hold is refused: by
// EListError "List count out of bounds (<count>)" in a text file, by
// EReadError in a stream. Items without stored data of their own (a TKelObj
// writes nothing) cost the data nothing, so its size cannot bound their
// number; the memory they take does. One read, with all the lists nested in
// it, makes no more of them than fit in ItemMemoryLimit() bytes, each item
// counted as its class's InstanceSize plus ItemOverhead (its list entry and
// the allocator's own); beyond that, EListError "List count out of bounds
// (<count>)".
constexpr std::int64_t ItemOverhead = 4 * sizeof(void*);
// Half the machine's memory, unless set.
std::int64_t ItemMemoryLimit();
// 0 restores the default.
void SetItemMemoryLimit(std::int64_t Bytes);

// A signed 32-bit count of UTF-16 code units, little-endian, then the code
// units, little-endian.
void WriteStreamString(TStream& Stream, const QString& s);
// A count of 0 or less gives "" and nothing more is read. A count beyond what
// remains in the stream raises EReadError before anything is allocated.
QString ReadStreamString(TStream& Stream);

// A new object of the class that Node names (its "class" attribute when that
// is not empty, else its element name), after its ProcessXMLData(Node).
// Null for a null node; EClassNotFound for a name not registered.
TKelObj* CreateItemFromNode(const TXMLNode* Node);
