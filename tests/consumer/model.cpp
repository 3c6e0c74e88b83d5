// Uses the C++ classes only: linked with --as-needed, the program needs liborvex++ alone, so
// liborvex has to be found by liborvex++ itself at run time.
#include <orvex/orvex++.h>

#include <cstdio>
#include <memory>

int main() {
    Orvex::Dictionary doc;
    doc.Set("name", Orvex::String("consumer"));
    std::unique_ptr<Orvex::Structure> back(Orvex::Structure::FromMemory(doc.ToBin(), nullptr));
    auto *dict = dynamic_cast<Orvex::Dictionary *>(back.get());
    auto *name = dict ? dynamic_cast<Orvex::String *>((*dict)["name"]) : nullptr;
    if (!name || name->GetValue() != "consumer")
        return std::fprintf(stderr, "binary document not read back\n"), 1;
    return 0;
}
