#include "web_resource.h"

#include <cwchar>

#include "../common/test_bytes.h"
#include "transcript.h"
#include "webview/webview2/co_task_string.h"

namespace standin {
namespace {

using kiln::CoTaskCopy;

bool SameName(const std::wstring& a, const wchar_t* b) { return b && _wcsicmp(a.c_str(), b) == 0; }

HRESULT CopyOut(const std::wstring& text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = CoTaskCopy(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT FindHeader(const HeaderList& headers, LPCWSTR name, LPWSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  for (const auto& [headerName, headerValue] : headers) {
    if (SameName(headerName, name)) return CopyOut(headerValue, value);
  }
  return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT IterateOver(HeaderList headers, ICoreWebView2HttpHeadersCollectionIterator** iterator) {
  if (!iterator) return E_POINTER;
  *iterator = new HeaderIterator(std::move(headers));
  return S_OK;
}

HeaderList Matching(const HeaderList& headers, LPCWSTR name) {
  HeaderList matching;
  for (const auto& header : headers) {
    if (SameName(header.first, name)) matching.push_back(header);
  }
  return matching;
}


}  // namespace

HRESULT HeaderIterator::GetCurrentHeader(LPWSTR* name, LPWSTR* value) {
  if (!name || !value) return E_POINTER;
  *name = *value = nullptr;
  if (position_ >= headers_.size()) return E_FAIL;
  CopyOut(headers_[position_].first, name);
  return CopyOut(headers_[position_].second, value);
}

HRESULT HeaderIterator::get_HasCurrentHeader(BOOL* hasCurrent) {
  if (!hasCurrent) return E_POINTER;
  *hasCurrent = position_ < headers_.size();
  return S_OK;
}

HRESULT HeaderIterator::MoveNext(BOOL* hasNext) {
  if (!hasNext) return E_POINTER;
  if (position_ < headers_.size()) ++position_;
  *hasNext = position_ < headers_.size();
  return S_OK;
}

HRESULT RequestHeaders::GetHeader(LPCWSTR name, LPWSTR* value) {
  return FindHeader(headers_, name, value);
}

HRESULT RequestHeaders::GetHeaders(LPCWSTR name,
                                   ICoreWebView2HttpHeadersCollectionIterator** iterator) {
  return IterateOver(Matching(headers_, name), iterator);
}

HRESULT RequestHeaders::Contains(LPCWSTR name, BOOL* contains) {
  if (!contains) return E_POINTER;
  *contains = !Matching(headers_, name).empty();
  return S_OK;
}

HRESULT RequestHeaders::SetHeader(LPCWSTR name, LPCWSTR value) {
  if (!name) return E_INVALIDARG;
  RemoveHeader(name);
  headers_.emplace_back(name, value ? value : L"");
  return S_OK;
}

HRESULT RequestHeaders::RemoveHeader(LPCWSTR name) {
  HeaderList kept;
  for (const auto& header : headers_) {
    if (!SameName(header.first, name)) kept.push_back(header);
  }
  headers_.swap(kept);
  return S_OK;
}

HRESULT RequestHeaders::GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator) {
  return IterateOver(headers_, iterator);
}

ResponseHeaders::ResponseHeaders(const wchar_t* text) {
  const std::wstring all = text ? text : L"";
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find(L'\n', start);
    if (end == std::wstring::npos) end = all.size();
    std::wstring line = all.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (!line.empty()) lines_.push_back(line);
    start = end + 1;
  }
}

HeaderList ResponseHeaders::Parsed() const {
  HeaderList headers;
  for (const std::wstring& line : lines_) {
    // A line without a colon stays visible in the transcript as a name alone.
    const size_t colon = line.find(L':');
    if (colon == std::wstring::npos) {
      headers.emplace_back(line, L"");
      continue;
    }
    size_t valueStart = colon + 1;
    while (valueStart < line.size() && line[valueStart] == L' ') ++valueStart;
    headers.emplace_back(line.substr(0, colon), line.substr(valueStart));
  }
  return headers;
}

HRESULT ResponseHeaders::AppendHeader(LPCWSTR name, LPCWSTR value) {
  if (!name) return E_INVALIDARG;
  lines_.push_back(std::wstring(name) + L": " + (value ? value : L""));
  return S_OK;
}

HRESULT ResponseHeaders::Contains(LPCWSTR name, BOOL* contains) {
  if (!contains) return E_POINTER;
  *contains = !Matching(Parsed(), name).empty();
  return S_OK;
}

HRESULT ResponseHeaders::GetHeader(LPCWSTR name, LPWSTR* value) {
  return FindHeader(Parsed(), name, value);
}

HRESULT ResponseHeaders::GetHeaders(LPCWSTR name,
                                    ICoreWebView2HttpHeadersCollectionIterator** iterator) {
  return IterateOver(Matching(Parsed(), name), iterator);
}

HRESULT ResponseHeaders::GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator) {
  return IterateOver(Parsed(), iterator);
}

WebResourceRequest::WebResourceRequest(std::wstring uri, std::wstring method, HeaderList headers)
    : uri_(std::move(uri)),
      method_(std::move(method)),
      headers_(ComRef<RequestHeaders>::Adopt(new RequestHeaders(std::move(headers)))) {}

HRESULT WebResourceRequest::get_Uri(LPWSTR* uri) { return CopyOut(uri_, uri); }

HRESULT WebResourceRequest::put_Uri(LPCWSTR uri) {
  uri_ = uri ? uri : L"";
  return S_OK;
}

HRESULT WebResourceRequest::get_Method(LPWSTR* method) { return CopyOut(method_, method); }

HRESULT WebResourceRequest::put_Method(LPCWSTR method) {
  method_ = method ? method : L"";
  return S_OK;
}

HRESULT WebResourceRequest::get_Content(IStream** content) {
  if (!content) return E_POINTER;
  *content = content_.Get();
  if (content_) content_->AddRef();
  return S_OK;
}

HRESULT WebResourceRequest::put_Content(IStream* content) {
  content_ = ComRef<IStream>::Share(content);
  return S_OK;
}

HRESULT WebResourceRequest::get_Headers(ICoreWebView2HttpRequestHeaders** headers) {
  if (!headers) return E_POINTER;
  headers_->AddRef();
  *headers = headers_.Get();
  return S_OK;
}

WebResourceResponse::WebResourceResponse(IStream* content, int statusCode,
                                         const wchar_t* reasonPhrase, const wchar_t* headers)
    : content_(ComRef<IStream>::Share(content)),
      statusCode_(statusCode),
      reasonPhrase_(reasonPhrase ? reasonPhrase : L""),
      headers_(ComRef<ResponseHeaders>::Adopt(new ResponseHeaders(headers))) {}

HRESULT WebResourceResponse::get_Content(IStream** content) {
  if (!content) return E_POINTER;
  *content = content_.Get();
  if (content_) content_->AddRef();
  return S_OK;
}

HRESULT WebResourceResponse::put_Content(IStream* content) {
  content_ = ComRef<IStream>::Share(content);
  return S_OK;
}

HRESULT WebResourceResponse::get_Headers(ICoreWebView2HttpResponseHeaders** headers) {
  if (!headers) return E_POINTER;
  headers_->AddRef();
  *headers = headers_.Get();
  return S_OK;
}

HRESULT WebResourceResponse::get_StatusCode(int* statusCode) {
  if (!statusCode) return E_POINTER;
  *statusCode = statusCode_;
  return S_OK;
}

HRESULT WebResourceResponse::put_StatusCode(int statusCode) {
  statusCode_ = statusCode;
  return S_OK;
}

HRESULT WebResourceResponse::get_ReasonPhrase(LPWSTR* reasonPhrase) {
  return CopyOut(reasonPhrase_, reasonPhrase);
}

HRESULT WebResourceResponse::put_ReasonPhrase(LPCWSTR reasonPhrase) {
  reasonPhrase_ = reasonPhrase ? reasonPhrase : L"";
  return S_OK;
}

nlohmann::json DescribeResponse(ICoreWebView2WebResourceResponse* response,
                                ServedResponse* served) {
  json description = json::object();
  int status = 0;
  response->get_StatusCode(&status);
  description["status"] = status;
  kiln::CoTaskString reason;
  response->get_ReasonPhrase(reason.Put());
  description["reason"] = Utf8(reason.Get());

  json lines = json::array();
  ComRef<ICoreWebView2HttpResponseHeaders> headers;
  response->get_Headers(headers.Put());
  ComRef<ICoreWebView2HttpHeadersCollectionIterator> iterator;
  if (headers) headers->GetIterator(iterator.Put());
  BOOL hasCurrent = FALSE;
  if (iterator) iterator->get_HasCurrentHeader(&hasCurrent);
  while (hasCurrent) {
    kiln::CoTaskString name, value;
    iterator->GetCurrentHeader(name.Put(), value.Put());
    lines.push_back(Utf8(name.Get()) + ": " + Utf8(value.Get()));
    if (served) served->headers.emplace_back(name.Get() ? name.Get() : L"", value.Get() ? value.Get() : L"");
    iterator->MoveNext(&hasCurrent);
  }
  description["headers"] = lines;

  ComRef<IStream> stream;
  response->get_Content(stream.Put());
  std::string body;
  if (stream) {
    char buffer[65536];
    for (;;) {
      ULONG read = 0;
      const HRESULT result = stream->Read(buffer, sizeof(buffer), &read);
      if (FAILED(result)) {
        description["readError"] = static_cast<long long>(static_cast<unsigned long>(result));
        break;
      }
      body.append(buffer, read);
      if (read == 0 || result == S_FALSE) break;
    }
  }
  description["stream"] = static_cast<bool>(stream);
  description["length"] = body.size();
  description["fnv1a"] = kiln::testing::Fnv1a(body);
  if (body.size() <= 1024) description["body"] = body;
  if (served) {
    served->status = status;
    served->reason = Utf8(reason.Get());
    served->body = std::move(body);
  }
  return description;
}

}  // namespace standin
