// libFuzzer target for the shared document reader: any bytes, decoded as the store decodes a file,
// must either be refused or give a document that keeps every invariant and survives writing.
#include "store/SharedData.h"
#include "tests/store/SharedDataInvariants.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (size > static_cast<std::size_t> (brivola::maxSharedDocumentBytes))
        return 0; // the store never reads larger files

    const auto text = juce::String::createStringFromData (data, static_cast<int> (size));
    brivola::SharedData document;

    if (! brivola::parseSharedDocument (text, document))
        return 0;

    for (const auto& violation : { brivola::testing::sharedDataInvariantViolation (document),
                                   brivola::testing::sharedDataRoundTripViolation (document) })
    {
        if (violation.isNotEmpty())
        {
            std::fprintf (stderr, "shared document fault: %s\n", violation.toRawUTF8());
            std::abort();
        }
    }

    return 0;
}
