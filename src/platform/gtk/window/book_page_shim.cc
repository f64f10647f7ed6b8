#include "platform/gtk/window/book_page_shim.h"

namespace lectern {
namespace {

// Parser-made elements are caught by the observer before their load starts; script-made ones by
// the `src` and `href` setters, setAttribute and the Audio constructor, which would otherwise set
// the attribute out of sight. Pages that are not the book's keep the engine's own behaviour.
constexpr std::string_view kScript = R"js((() => {
  if (location.protocol !== 'lectern:') return;
  const base = __MEDIA_BASE__;
  const datastore = /^\s*(?:file:\/\/\/?)?c:(?:[\\/]|%5c)datastore(?=[\\/]|%5c|[?#]|\s*$)/i;
  // The book URL a value names, or null: relative URLs, the book's scheme and the datastore forms.
  function bookUrl(value) {
    if (typeof value !== 'string' && !(value instanceof String)) return null;
    let text = String(value);
    const match = datastore.exec(text);
    if (match) text = 'lectern://datastore' + (text.slice(match[0].length).replace(/\\|%5c/gi, '/') || '/');
    let url;
    try { url = new URL(text, document.baseURI); } catch (e) { return null; }
    return url.protocol === 'lectern:' && url.host === 'datastore' ? url : null;
  }
  function toMedia(value) {
    const url = bookUrl(value);
    return url ? base + url.pathname + url.search + url.hash : value;
  }
  // Only the datastore forms change; every other URL stays as the page wrote it.
  function toBook(value) {
    if ((typeof value !== 'string' && !(value instanceof String)) || !datastore.test(String(value))) return value;
    const url = bookUrl(value);
    return url ? url.href : value;
  }
  const isMedia = (node) => node instanceof HTMLMediaElement || node instanceof HTMLSourceElement;
  const isFrame = (node) => node instanceof HTMLIFrameElement || node instanceof HTMLFrameElement;
  const isLink = (node) => node instanceof HTMLAnchorElement || node instanceof HTMLAreaElement;
  function patchSetter(proto, name, convert) {
    const own = Object.getOwnPropertyDescriptor(proto, name);
    if (!own || !own.set) return;
    Object.defineProperty(proto, name, {
      configurable: true, enumerable: own.enumerable, get: own.get,
      set(value) { own.set.call(this, convert(value)); },
    });
  }
  patchSetter(HTMLMediaElement.prototype, 'src', toMedia);
  patchSetter(HTMLSourceElement.prototype, 'src', toMedia);
  patchSetter(HTMLIFrameElement.prototype, 'src', toBook);
  patchSetter(HTMLFrameElement.prototype, 'src', toBook);
  patchSetter(HTMLAnchorElement.prototype, 'href', toBook);
  patchSetter(HTMLAreaElement.prototype, 'href', toBook);
  const setAttribute = Element.prototype.setAttribute;
  Element.prototype.setAttribute = function (name, value) {
    const lower = String(name).toLowerCase();
    if (lower === 'src' && isMedia(this)) value = toMedia(value);
    else if ((lower === 'src' && isFrame(this)) || (lower === 'href' && isLink(this))) value = toBook(value);
    return setAttribute.call(this, name, value);
  };
  const NativeAudio = window.Audio;
  const Audio = function Audio(src) {
    const audio = new NativeAudio();
    if (arguments.length > 0 && src !== undefined) audio.src = src;
    return audio;
  };
  Audio.prototype = NativeAudio.prototype;
  window.Audio = Audio;

  // fetch and XMLHttpRequest refuse file URLs outright, and window.open would be dropped.
  const nativeFetch = window.fetch;
  window.fetch = function (input, init) { return nativeFetch.call(this, toBook(input), init); };
  const open = XMLHttpRequest.prototype.open;
  XMLHttpRequest.prototype.open = function (method, url, ...rest) { return open.call(this, method, toBook(url), ...rest); };
  const windowOpen = window.open;
  window.open = function (url, ...rest) { return windowOpen.call(this, toBook(url), ...rest); };
  // The engine drops a navigation to a file URL that a page starts by itself ("location.href =
  // external.reader.startPage"): the page's process was handed no local files. That happens
  // before the view's policy or the web extension hear of it, but after the navigate event, which
  // the page sees first; so the datastore forms go to the book from here. Any other file URL
  // goes on, to be dropped as before.
  if (window.navigation) navigation.addEventListener('navigate', event => {
    const target = event.destination.url;
    const book = toBook(target);
    // A posted form or a download could not be sent on as they were asked for.
    if (book === target || !event.cancelable || event.formData || typeof event.downloadRequest === 'string') return;
    event.preventDefault();
    if (event.navigationType === 'replace') location.replace(book); else location.assign(book);
  });

  function adopt(element) {
    if (isMedia(element)) {
      const src = element.getAttribute('src');
      const media = src === null ? src : toMedia(src);
      if (media === src) return;
      setAttribute.call(element, 'src', media);
      if (element instanceof HTMLSourceElement && element.parentElement instanceof HTMLMediaElement)
        element.parentElement.load();
      return;
    }
    const name = isFrame(element) ? 'src' : isLink(element) ? 'href' : null;
    if (!name) return;
    const value = element.getAttribute(name);
    const book = value === null ? value : toBook(value);
    if (book !== value) setAttribute.call(element, name, book);
  }
  const selector = 'audio[src], video[src], source[src], iframe[src], frame[src], a[href], area[href]';
  function scan(node) {
    if (node.nodeType !== 1) return;
    adopt(node);
    node.querySelectorAll(selector).forEach(adopt);
  }
  new MutationObserver(changes => changes.forEach(change => {
    if (change.type === 'attributes') adopt(change.target); else change.addedNodes.forEach(scan);
  })).observe(document, {childList: true, subtree: true, attributes: true, attributeFilter: ['src', 'href']});
})();)js";

// A JS string literal of `text`; the base holds only URL characters, but quote it properly anyway.
std::string JsString(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "'";
}

}  // namespace

std::string BookPageScript(std::string_view media_base) {
  std::string script(kScript);
  constexpr std::string_view kMarker = "__MEDIA_BASE__";
  script.replace(script.find(kMarker), kMarker.size(), JsString(media_base));
  return script;
}

}  // namespace lectern
