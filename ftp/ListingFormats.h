#pragma once
// The listing formats, one reader per family of servers. Each reader takes
// one line (without its line end) and its fields, and fills an entry when
// the line is one of its own. ListingParser tries them in turn and joins
// what needs more than one line.
#include <cstddef>
#include <string_view>

#include "ftp/ListingParser.h"
#include "ftp/ListingText.h"

namespace ftp::listing {

// Formats that pad names to a column: the blanks before the name are then
// partly padding and partly the name's own, and how many are padding is
// learned from the whole listing (the fewest blanks any line of the format
// has there), never more than the format's own width.
enum class Padding { None, DosFolder, NetWare, Os2, VxWorks, DottedDate };

struct LineEntry {
    ListingEntry entry;  // wireName is set unless padding says otherwise
    Padding padding = Padding::None;
    // With padding: the blanks before the name and the name, and how many
    // of those blanks are padding at most.
    std::string_view paddedName;
    std::size_t maxPadding = 0;
    // Padding that a wider marker before the name took up ("<JUNCTION>"
    // in the column of "<DIR>").
    std::size_t paddingShift = 0;
    // Where the name starts in the line, for the DOS file lines whose
    // column the folder lines share.
    std::size_t nameColumn = 0;
    bool dosFile = false;
    // MLSD's entry for the listed folder itself or its parent.
    bool currentOrParent = false;
    // A VMS name: older versions of a file keep their ";version".
    bool vmsVersioned = false;
    std::string_view vmsVersion;
};

// Marks the entry's name as padded: blanksAndName is the rest of the line
// from the blanks before the name; maxPadding 0 means no limit.
void setPaddedName(LineEntry& out, Padding padding, std::string_view blanksAndName, std::size_t maxPadding);

// Each returns true when the line is an entry of its format.
bool readUnixLine(std::string_view line, const Fields& fields, const ListingDate& today, LineEntry& out);
bool readNetWareLine(std::string_view line, const Fields& fields, const ListingDate& today, LineEntry& out);
bool readDosLine(std::string_view line, const Fields& fields, LineEntry& out);
bool readOs2Line(std::string_view line, const Fields& fields, LineEntry& out);
bool readMlsdLine(std::string_view line, LineEntry& out);
bool readEplfLine(std::string_view line, LineEntry& out);
// VMS: a whole entry, or the name alone when the rest is on the next line
// (nameOnly then set); readVmsRest reads that next line.
bool readVmsLine(const Fields& fields, LineEntry& out, bool& nameOnly);
bool readVmsRest(const Fields& fields, LineEntry& out);
bool readAs400Line(std::string_view line, const Fields& fields, LineEntry& out);
bool readMvsDatasetLine(const Fields& fields, bool afterHeader, LineEntry& out);
bool readPdsMemberLine(const Fields& fields, bool afterHeader, LineEntry& out);
bool readZvmLine(const Fields& fields, LineEntry& out);
bool readNonStopLine(const Fields& fields, LineEntry& out);
bool readVxWorksLine(std::string_view line, const Fields& fields, LineEntry& out);
bool readOs9Line(std::string_view line, const Fields& fields, LineEntry& out);

// Column headings of the MVS dataset and member listings.
bool isMvsDatasetHeader(const Fields& fields);
bool isPdsMemberHeader(const Fields& fields);

} // namespace ftp::listing
