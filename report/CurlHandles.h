#pragma once
// Owners of libcurl's handles: an easy handle, a MIME structure and a string list.
#include <curl/curl.h>

#include <memory>

namespace orvella {

struct TCurlEasyCleanup {
  void operator()(CURL* AHandle) const { curl_easy_cleanup(AHandle); }
};
struct TCurlMimeFree {
  void operator()(curl_mime* AMime) const { curl_mime_free(AMime); }
};
struct TCurlListFree {
  void operator()(curl_slist* AList) const { curl_slist_free_all(AList); }
};

using TCurlEasy = std::unique_ptr<CURL, TCurlEasyCleanup>;
using TCurlMime = std::unique_ptr<curl_mime, TCurlMimeFree>;
using TCurlList = std::unique_ptr<curl_slist, TCurlListFree>;

}  // namespace orvella
