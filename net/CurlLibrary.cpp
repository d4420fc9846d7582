#include "net/CurlLibrary.h"

#include <dlfcn.h>

#include <cstdio>

namespace nimbora {

namespace {

template <typename T> bool Find(void* library, T& function, const char* name) {
    function = reinterpret_cast<T>(dlsym(library, name));
    return function != nullptr;
}

const TCurlLibrary* Load() {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "nimbora: cannot load libcurl: %s\n", dlerror());
        return nullptr;
    }
    static TCurlLibrary curl;
    const bool found =
        Find(library, curl.global_init, "curl_global_init") && Find(library, curl.url, "curl_url") &&
        Find(library, curl.url_set, "curl_url_set") && Find(library, curl.url_get, "curl_url_get") &&
        Find(library, curl.url_cleanup, "curl_url_cleanup") && Find(library, curl.free, "curl_free") &&
        Find(library, curl.multi_init, "curl_multi_init") &&
        Find(library, curl.multi_cleanup, "curl_multi_cleanup") &&
        Find(library, curl.multi_add_handle, "curl_multi_add_handle") &&
        Find(library, curl.multi_remove_handle, "curl_multi_remove_handle") &&
        Find(library, curl.multi_perform, "curl_multi_perform") &&
        Find(library, curl.multi_info_read, "curl_multi_info_read") &&
        Find(library, curl.multi_poll, "curl_multi_poll") &&
        Find(library, curl.easy_init, "curl_easy_init") &&
        Find(library, curl.easy_setopt, "curl_easy_setopt") &&
        Find(library, curl.easy_getinfo, "curl_easy_getinfo") &&
        Find(library, curl.easy_cleanup, "curl_easy_cleanup") &&
        Find(library, curl.slist_append, "curl_slist_append") &&
        Find(library, curl.slist_free_all, "curl_slist_free_all");
    // An older libcurl without one of these (curl_multi_poll came with 7.66) cannot serve.
    if (!found || curl.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fprintf(stderr, "nimbora: the libcurl found is too old or unusable\n");
        return nullptr;
    }
    return &curl;
}

} // namespace

const TCurlLibrary* Curl() {
    static const TCurlLibrary* const library = Load();
    return library;
}

} // namespace nimbora
