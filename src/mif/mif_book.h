// MIF books and the substitute host's Book: reading a <Book ...> file's
// components into a model Book, and writing a model Book as a MIF book.
//
// A book file lists its components in order with BookComponent statements,
// each naming its file with FileName in the device-independent form
// (`<c\>ch1.mif'), relative to the book's folder. Components may be gathered
// into BookFolder (kind 64) and BookGroup (kind 2) statements, which hold
// further BookComponent, BookFolder and BookGroup statements and are named by
// their first string statement (FolderName, GroupName or Name); every
// BookComponent is a document (kind 512), generated files included. Other
// statements of the book file are not part of the model.
#pragma once

#include <string>
#include <string_view>

#include "mif/mif_result.h"
#include "mif/mif_tree.h"
#include "substitute/document_model.h"

namespace gw::mif {

// Adds the components of a parsed book file to `into` (at its top level, in
// file order), with host file names resolved from the folder of
// hostBookName. Fails, naming the file and line, for a document file, a
// BookComponent without FileName, or a FileName that is not a
// device-independent path; `into` may then hold the components read so far.
[[nodiscard]] Status ReadBook(const Document& tree, std::string_view hostBookName, substitute::Book& into);

// A MIF 7.00 book file for a model book whose file is hostBookName: its
// components with FileNames relative to the book's folder.
[[nodiscard]] std::string WriteNewBook(const substitute::Book& book, std::string_view hostBookName);

}  // namespace gw::mif
