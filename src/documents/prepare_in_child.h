// Preparing documents where a decoder cannot hurt the caller: in the
// qvfax-prepare process, confined to the documents and the job's folder,
// with limits on its memory, CPU time and output. A crash, a limit reached
// or a hostile document ends that process only; the caller gets the pages,
// or a DocumentError as Prepare gives it, and stays at its own size.
#pragma once

#include <string>
#include <vector>

#include "documents/prepare.h"

namespace qvfax::documents {

// The qvfax-prepare program beside the running one ($QVFAX_PREPARE first);
// "" when there is none.
std::string PrepareProgram();

// As Prepare, in a process of its own. A helper that cannot be found or
// started is a local error (the installation's fault, not the document's).
Prepared PrepareInChild(const std::vector<std::string>& inputs, const std::string& folder,
                        const PrepareOptions& options);

}  // namespace qvfax::documents
