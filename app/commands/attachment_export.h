#pragma once

// Writing attachments into files: the names they are saved under, the choice of a path in a folder that never
// loses a file the user had, and the command line's "/ATTACHMENTS" that writes them all.

#include <functional>
#include <ostream>
#include <set>
#include <string>

namespace pelmsg {
class TMSGProperties;
class TMSGProperty;
} // namespace pelmsg

namespace quorra {

// The name saving an attachment proposes, before it is made safe: its file name; for an attached message its
// caption (display name) followed by ".msg" (unless it ends so already), every "/" and ":" becoming "_", so "Re: a/b"
// gives "Re_ a_b.msg".
std::string ProposedAttachmentName(const pelmsg::TMSGProperty& attachment, int index);

// The file name an attachment is written under in a folder: ProposedAttachmentName made safe (SafeFileName), or
// "attachment N" when nothing of it is left.
std::string SafeAttachmentName(const pelmsg::TMSGProperty& attachment, int index);

// Writes attachment `index` of the message to path through the library's safe save: an attached message as an
// Outlook .msg file with all its properties, any other attachment as its bytes. Raises the library's errors.
void SaveAttachmentAs(const pelmsg::TMSGProperties& message, int index, const std::string& path);

// What to do when the folder already holds a file of the name an attachment is saved under.
enum class TExistingFile { Replace, KeepBoth, Skip };

// Chooses where the attachments of one save go in a folder so that nothing the user had is lost. A name this save
// has already written gets a free one ("a (2).txt"); a file that was there before is replaced, kept (the attachment
// gets a free name) or left alone (the attachment is skipped) as the question answers, and an answer given "for
// all" holds for the rest of the save, except that a symbolic link is always asked about before it is replaced. A
// folder of that name and the open message itself are never replaced: the
// attachment gets a free name without a question.
class TAttachmentTargets {
public:
    // Asked about an existing file: its path; may set forAll.
    using TAsk = std::function<TExistingFile(const std::string& path, bool& forAll)>;

    TAttachmentTargets(std::string folder, std::string openFile, TAsk ask);

    // The path to write an attachment of the (already safe) name to; empty when it is to be skipped.
    std::string PathFor(const std::string& safeName);
    // Records that a file was written at path by this save.
    void Written(const std::string& path) { written_.insert(path); }

private:
    std::string folder_;
    std::string openFile_;
    TAsk ask_;
    bool answerForAll_ = false;
    TExistingFile answer_ = TExistingFile::KeepBoth;
    std::set<std::string> written_;
};

// The folder attachments go to by default: beside the message, named after it without its extension
// ("/mail/winmail.dat" gives "/mail/winmail"; a name without extension gets " attachments").
std::string DefaultAttachmentFolder(const std::string& messagePath);

// Where the symbolic link at path points, as the link says; empty when path is no symbolic link.
std::string SymbolicLinkTarget(const std::string& path);

// Writes each attachment of the message into the folder (created when missing) under a name made safe from its
// own, never replacing a file there: a taken name gets " (2)", " (3)", ... An attached message is written as an
// Outlook .msg file; other attachments as their bytes. Prints each file's path on `out` as it is written and each
// failure on `errors`. Returns 0 when every attachment was written (also when there are none), 1 otherwise.
int SaveAllAttachments(
    const pelmsg::TMSGProperties& message, const std::string& folder, std::ostream& out, std::ostream& errors);

} // namespace quorra
