// The user script of the media road (LocalMediaServer::mediaScript): it
// points media elements with local:// sources at the server, and loops
// those elements itself.
//
// Why the script loops them: the engine loops a media element by segment
// seeks, and for a source it downloads over HTTP it takes the end of the
// download (which comes seconds before the end of playback, once the rest
// fits in its buffers) for the end of the segment. A looping element
// restarts a fraction of a second after each restart, for ever. So an
// element served from here never carries the `loop` attribute in the
// engine; the script keeps the page's value (`loop`, and the attribute read
// and written through getAttribute, hasAttribute, setAttribute,
// removeAttribute and toggleAttribute) and, at the end, hides the end's
// `pause` and `ended` events and plays the element again from the start,
// as the engine's own loop would (`seeking` and `seeked` are seen).

#include "Classes/ViewController/LocalMediaServer.h"
#include "platform/foundation/Strings.h"

std::string LocalMediaServer::mediaScript() const {
    // Runs before the page's own scripts, in the top frame. The element
    // keeps reporting the local:// address the page gave it through `src`.
    return "(function() {\n"
           "  var BASE = " + strings::jsStringLiteral(baseURL_) + ";\n" + R"JS(
  if (!BASE || window.__localMediaRoad) return;
  window.__localMediaRoad = true;
  var E = Element.prototype, M = HTMLMediaElement.prototype;
  var setAttribute = E.setAttribute, getAttribute = E.getAttribute, hasAttribute = E.hasAttribute,
      removeAttribute = E.removeAttribute, toggleAttribute = E.toggleAttribute;
  var originals = new WeakMap();
  function toServer(url) {
    if (typeof url !== 'string' && !(url instanceof String)) return null;
    var abs;
    try { abs = new URL(String(url), document.baseURI); } catch (e) { return null; }
    if (abs.protocol !== 'local:') return null;
    return {local: abs.href, mapped: BASE + abs.pathname.replace(/^\/+/, '') + abs.search};
  }
  function isMedia(el) { return el instanceof HTMLMediaElement || el instanceof HTMLSourceElement; }

  // ---- Looping (see the note above) ----
  var loops = new WeakMap();  // element served here -> the page's loop attribute (a text) or null
  var handledEnds = new WeakSet(), restarting = new WeakSet();
  var nativeEnded = Object.getOwnPropertyDescriptor(M, 'ended').get, nativePlay = M.play;
  function pageLoops(el) { var v = loops.get(el); return v !== undefined && v !== null; }
  function onEnd(e) {
    var el = e.target;
    if (!pageLoops(el) || handledEnds.has(e)) return;
    if (e.type === 'pause' && !nativeEnded.call(el)) return;
    if (e.type === 'play' && !restarting.has(el)) return;
    handledEnds.add(e);
    e.stopImmediatePropagation();
    if (e.type === 'play') restarting.delete(el);
    if (e.type !== 'ended') return;
    restarting.add(el);
    var p = nativePlay.call(el);
    if (p && p.catch) p.catch(function() {});
  }
  ['pause', 'ended', 'play'].forEach(function(type) { window.addEventListener(type, onEnd, true); });
  function takeLoop(el) {
    if (!(el instanceof HTMLMediaElement) || loops.has(el)) return;
    loops.set(el, getAttribute.call(el, 'loop'));
    if (pageLoops(el)) removeAttribute.call(el, 'loop');
    // An element outside the document is not reached through window.
    ['pause', 'ended', 'play'].forEach(function(type) { el.addEventListener(type, onEnd, true); });
  }
  function giveLoop(el) {
    if (!loops.has(el)) return;
    var v = loops.get(el);
    loops.delete(el);
    if (v !== null) setAttribute.call(el, 'loop', v);
  }
  function isLoop(el, name) {
    var n = typeof name === 'string' ? name : String(name);
    return n.length === 4 && n.toLowerCase() === 'loop' && loops.has(el);
  }
  var loopProperty = Object.getOwnPropertyDescriptor(M, 'loop');
  Object.defineProperty(M, 'loop', {
    configurable: true, enumerable: loopProperty.enumerable,
    get: function() { return loops.has(this) ? pageLoops(this) : loopProperty.get.call(this); },
    set: function(v) { if (loops.has(this)) loops.set(this, v ? '' : null); else loopProperty.set.call(this, v); }
  });
  Object.defineProperty(M, 'ended', {
    configurable: true, enumerable: true,
    get: function() { return pageLoops(this) ? false : nativeEnded.call(this); }
  });
  E.getAttribute = function(name) { return isLoop(this, name) ? loops.get(this) : getAttribute.apply(this, arguments); };
  E.hasAttribute = function(name) { return isLoop(this, name) ? pageLoops(this) : hasAttribute.apply(this, arguments); };
  E.removeAttribute = function(name) {
    if (isLoop(this, name)) { loops.set(this, null); return; }
    return removeAttribute.apply(this, arguments);
  };
  E.toggleAttribute = function(name, force) {
    if (!isLoop(this, name)) return toggleAttribute.apply(this, arguments);
    var on = arguments.length > 1 ? !!force : !pageLoops(this);
    loops.set(this, on ? (pageLoops(this) ? loops.get(this) : '') : null);
    return on;
  };

  // ---- Sources ----
  function pointHere(el, m) {
    originals.set(el, m);
    takeLoop(el instanceof HTMLSourceElement ? el.parentElement : el);
  }
  function rewrite(el) {
    var value = getAttribute.call(el, 'src');
    var m = value === null ? null : toServer(value);
    if (!m) return false;
    pointHere(el, m);
    setAttribute.call(el, 'src', m.mapped);
    return true;
  }
  function hookSrc(proto) {
    var d = Object.getOwnPropertyDescriptor(proto, 'src');
    if (!d || !d.set) return;
    Object.defineProperty(proto, 'src', {
      configurable: true, enumerable: d.enumerable,
      get: function() {
        var v = d.get.call(this), o = originals.get(this);
        return o && v === o.mapped ? o.local : v;
      },
      set: function(v) {
        var m = toServer(v);
        if (m) { pointHere(this, m); d.set.call(this, m.mapped); }
        else { giveLoop(this); d.set.call(this, v); }
      }
    });
  }
  hookSrc(M);
  hookSrc(HTMLSourceElement.prototype);
  E.setAttribute = function(name, value) {
    if (isLoop(this, name)) { loops.set(this, String(value)); return; }
    if (isMedia(this) && String(name).toLowerCase() === 'src') {
      var m = toServer(value);
      if (m) { pointHere(this, m); return setAttribute.call(this, name, m.mapped); }
      giveLoop(this);
    }
    return setAttribute.apply(this, arguments);
  };
  // <source> children are read when the element loads.
  function rewriteChildren(media) {
    var sources = media.querySelectorAll('source');
    for (var i = 0; i < sources.length; ++i) {
      rewrite(sources[i]);
      if (originals.has(sources[i])) takeLoop(media);
    }
  }
  var load = M.load;
  M.load = function() {
    rewrite(this);
    rewriteChildren(this);
    return load.apply(this, arguments);
  };
  var NativeAudio = window.Audio;
  if (NativeAudio) {
    var Audio = function(src) {
      var a = new NativeAudio();
      if (arguments.length) a.src = src;
      return a;
    };
    Audio.prototype = NativeAudio.prototype;
    window.Audio = Audio;
  }
  // Elements the parser or innerHTML made: rewritten before their load runs.
  function visit(node) {
    if (!(node instanceof Element)) return;
    var list = [node];
    if (node.querySelectorAll) list = list.concat(Array.prototype.slice.call(node.querySelectorAll('video, audio, source')));
    for (var i = 0; i < list.length; ++i) {
      var el = list[i];
      if (!isMedia(el)) continue;
      var changed = rewrite(el);
      var media = el.parentElement;
      if (!(el instanceof HTMLSourceElement) || !originals.has(el) || !(media instanceof HTMLMediaElement)) continue;
      takeLoop(media);
      if (changed && (!media.currentSrc || media.currentSrc.indexOf('local:') === 0)) load.call(media);
    }
  }
  new MutationObserver(function(records) {
    records.forEach(function(r) {
      if (r.type === 'attributes') visit(r.target);
      else for (var i = 0; i < r.addedNodes.length; ++i) visit(r.addedNodes[i]);
    });
  }).observe(document, {childList: true, subtree: true, attributes: true, attributeFilter: ['src']});
})();
)JS";
}
