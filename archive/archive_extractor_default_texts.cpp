// The extractor that tells its failures with today's texts, for tools and
// tests. Apart from archive_extractor.cpp so that the bootstrap, which
// always passes its own messenger, does not carry it.
#include "archive/archive_extractor.h"

namespace vcboot {

ArchiveExtractor::ArchiveExtractor(Platform& platform, ExtractionState& state,
                                   std::size_t payload_block_size)
    : platform_(platform),
      state_(state),
      default_messenger_(std::in_place, platform, default_texts_),
      messenger_(*default_messenger_),
      stream_(payload_block_size) {}

}  // namespace vcboot
