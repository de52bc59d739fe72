// The composer from arbitrary inputs, as the window's boxes pass them on: the
// identity and the password keep what a single-line box keeps, and the
// password loses its spaces. Whatever arrived, the entry holds no line end but
// its own CR LF and no control character but its tabs, and reads back as it
// was composed.

#include "../tests/properties.h"

#include <catalogue.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    model::Permissions p;
    model::loadCatalogue(p);
    FuzzedDataProvider in(data, size);
    const auto type = static_cast<entry::UserType>(in.ConsumeIntegralInRange(0, 3));
    const int passwordValue = in.ConsumeIntegralInRange(0, 2);
    std::string id = entry::keepSingleLine(in.ConsumeRandomLengthString(80));
    std::string password = entry::keepSingleLine(in.ConsumeRandomLengthString(140));
    std::erase(password, ' ');
    if (type == entry::UserType::Default)
        id = "Default";
    for (model::Node* c : p.colCommands)
        c->setChecked(in.ConsumeBool());

    const entry::EntryInputs inputs{type, id, passwordValue, password};
    std::string failure = properties::entryShape(entry::composeEntry(p.colLevels, p.colCommands, inputs));
    if (failure.empty())
        failure = properties::roundTrip(p, inputs);
    if (!failure.empty()) {
        std::fprintf(stderr, "violated: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
