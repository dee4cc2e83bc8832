// Requests, responses and their headers, as the runtime hands them to Kiln.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "com_object.h"
#include "unimplemented.h"
#include "webview/webview2/com_ref.h"

namespace standin {

using kiln::ComRef;
using HeaderList = std::vector<std::pair<std::wstring, std::wstring>>;

class HeaderIterator final
    : public ComObject<Unimplemented<ICoreWebView2HttpHeadersCollectionIterator>,
                       ICoreWebView2HttpHeadersCollectionIterator> {
 public:
  explicit HeaderIterator(HeaderList headers) : headers_(std::move(headers)) {}
  HRESULT STDMETHODCALLTYPE GetCurrentHeader(LPWSTR* name, LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_HasCurrentHeader(BOOL* hasCurrent) override;
  HRESULT STDMETHODCALLTYPE MoveNext(BOOL* hasNext) override;

 private:
  HeaderList headers_;
  size_t position_ = 0;
};

class RequestHeaders final : public ComObject<Unimplemented<ICoreWebView2HttpRequestHeaders>,
                                              ICoreWebView2HttpRequestHeaders> {
 public:
  explicit RequestHeaders(HeaderList headers) : headers_(std::move(headers)) {}
  HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE GetHeaders(LPCWSTR name,
                                       ICoreWebView2HttpHeadersCollectionIterator** iterator) override;
  HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* contains) override;
  HRESULT STDMETHODCALLTYPE SetHeader(LPCWSTR name, LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE RemoveHeader(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator) override;

 private:
  HeaderList headers_;
};

// Keeps the header lines exactly as Kiln wrote them, for the transcript.
class ResponseHeaders final : public ComObject<Unimplemented<ICoreWebView2HttpResponseHeaders>,
                                               ICoreWebView2HttpResponseHeaders> {
 public:
  explicit ResponseHeaders(const wchar_t* text);
  HRESULT STDMETHODCALLTYPE AppendHeader(LPCWSTR name, LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* contains) override;
  HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE GetHeaders(LPCWSTR name,
                                       ICoreWebView2HttpHeadersCollectionIterator** iterator) override;
  HRESULT STDMETHODCALLTYPE GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator) override;

  const std::vector<std::wstring>& lines() const { return lines_; }

 private:
  HeaderList Parsed() const;
  std::vector<std::wstring> lines_;
};

class WebResourceRequest final : public ComObject<Unimplemented<ICoreWebView2WebResourceRequest>,
                                                  ICoreWebView2WebResourceRequest> {
 public:
  WebResourceRequest(std::wstring uri, std::wstring method, HeaderList headers);
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
  HRESULT STDMETHODCALLTYPE put_Uri(LPCWSTR uri) override;
  HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) override;
  HRESULT STDMETHODCALLTYPE put_Method(LPCWSTR method) override;
  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override;
  HRESULT STDMETHODCALLTYPE put_Content(IStream* content) override;
  HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** headers) override;

 private:
  std::wstring uri_;
  std::wstring method_;
  ComRef<IStream> content_;
  ComRef<RequestHeaders> headers_;
};

class WebResourceResponse final : public ComObject<Unimplemented<ICoreWebView2WebResourceResponse>,
                                                   ICoreWebView2WebResourceResponse> {
 public:
  WebResourceResponse(IStream* content, int statusCode, const wchar_t* reasonPhrase,
                      const wchar_t* headers);
  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override;
  HRESULT STDMETHODCALLTYPE put_Content(IStream* content) override;
  HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpResponseHeaders** headers) override;
  HRESULT STDMETHODCALLTYPE get_StatusCode(int* statusCode) override;
  HRESULT STDMETHODCALLTYPE put_StatusCode(int statusCode) override;
  HRESULT STDMETHODCALLTYPE get_ReasonPhrase(LPWSTR* reasonPhrase) override;
  HRESULT STDMETHODCALLTYPE put_ReasonPhrase(LPCWSTR reasonPhrase) override;

 private:
  ComRef<IStream> content_;
  int statusCode_;
  std::wstring reasonPhrase_;
  ComRef<ResponseHeaders> headers_;
};

// A response as a browser takes it in: status, reason, header lines and the
// whole body read from its stream.
struct ServedResponse {
  int status = 0;
  std::string reason;
  HeaderList headers;
  std::string body;
};

// The whole answer as a browser would take it in, for the transcript: status,
// reason, header lines and the body read to its end. When served is given it
// also receives the answer itself, for a browser to deliver.
nlohmann::json DescribeResponse(ICoreWebView2WebResourceResponse* response,
                                ServedResponse* served = nullptr);

}  // namespace standin
