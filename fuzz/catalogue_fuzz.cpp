// The server catalogue reader on any file: never more entries than the bounds, and the
// service links and notice day handled whatever the catalogue says.
#include "fuzz/FuzzSupport.h"
#include "weather/ThSrvc.h"

using namespace nimbora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::ScratchPath("catalogue.ini");
    fuzz::WriteScratchFile(path, {reinterpret_cast<const char*>(data), size});
    const TCatalogue catalogue = ReadCatalogue(path);
    FUZZ_CHECK(catalogue.Servers.size() <= static_cast<std::size_t>(MaxCatalogueServers));
    FUZZ_CHECK(catalogue.Links.size() <= static_cast<std::size_t>(MaxCatalogueLinks));
    if (!catalogue.IdentityOk) FUZZ_CHECK(catalogue.Servers.empty() && catalogue.Links.empty());
    TService service;
    ApplyServiceLinks(catalogue, service);
    TakeNoticeDay(service, "09/12/2026");
    return 0;
}
