#pragma once
// libcurl, mapped when the first transfer needs it. A run that never goes on the network (the
// command-line picture, a window that uses its cached clouds) then never loads libcurl and the
// two dozen libraries it brings (TLS, Kerberos, LDAP, SSH, ...), which the dynamic linker would
// otherwise relocate at every start.
#include <curl/curl.h>

namespace nimbora {

struct TCurlLibrary {
    decltype(&::curl_global_init) global_init;
    decltype(&::curl_url) url;
    decltype(&::curl_url_set) url_set;
    decltype(&::curl_url_get) url_get;
    decltype(&::curl_url_cleanup) url_cleanup;
    decltype(&::curl_free) free;
    decltype(&::curl_multi_init) multi_init;
    decltype(&::curl_multi_cleanup) multi_cleanup;
    decltype(&::curl_multi_add_handle) multi_add_handle;
    decltype(&::curl_multi_remove_handle) multi_remove_handle;
    decltype(&::curl_multi_perform) multi_perform;
    decltype(&::curl_multi_info_read) multi_info_read;
    decltype(&::curl_multi_poll) multi_poll;
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
};

// The library with curl_global_init done, loaded once for the whole process (any thread);
// nullptr when it cannot be loaded or lacks a function, and a transfer then fails as with no
// connection.
const TCurlLibrary* Curl();

} // namespace nimbora
