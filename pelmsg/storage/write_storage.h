#pragma once

// Storages and streams of a compound file being created.

#include <memory>
#include <string>

#include "core/stream.h"
#include "storage/compound_file.h"
#include "storage/write_tree.h"

namespace pelmsg::cfb {

// The file being created: its tree and where Commit writes it.
class TWriteDocument {
public:
    TWriteDocument(std::string fileName, const TDocfileOptions& options);
    TWriteDocument(std::shared_ptr<TLockBytes> target, const TDocfileOptions& options);

    const std::shared_ptr<TWriteNode>& Root() const { return root_; }
    const TDocfileOptions& Options() const { return options_; }
    // Whether storages may nest deeper than the format allows (only tests, to make files the reader must refuse).
    bool NestingUnchecked = false;
    // Writes the whole file to its target.
    void Commit();

private:
    std::shared_ptr<TWriteNode> root_;
    TDocfileOptions options_;
    std::string fileName_;
    std::unique_ptr<TSafeFileStream> pendingFile_;
    std::shared_ptr<TLockBytes> memory_;
};

std::unique_ptr<IStorage> MakeWriteRoot(std::shared_ptr<TWriteDocument> document);

// A new root in memory whose storages may nest deeper than the format allows: the hostile files the reader must
// refuse, for its tests.
std::unique_ptr<IStorage> CreateUncheckedDocfileInMemory(std::shared_ptr<TLockBytes> target);

} // namespace pelmsg::cfb
