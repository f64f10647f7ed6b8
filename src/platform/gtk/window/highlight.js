// Runs in every frame of the page view, in the reader's own script world, so the page's scripts
// neither see nor disturb it. It keeps, on the top window, the frame the user last clicked and the
// position of the last find, and offers the marking of search words and find-next to the reader.
(function () {
  'use strict';
  if (window.LecternSearch) return;

  // Text inside these is not part of the page as it reads.
  const kSkipped = new Set(['SCRIPT', 'STYLE', 'NOSCRIPT', 'TEMPLATE', 'TITLE']);
  const kWordChar = /[\p{L}\p{N}_]/u;
  const kSpace = /\s/u;

  function state() {
    try {
      const top = window.top;
      if (!top.__lecternSearchState) top.__lecternSearchState = { active: null, find: null };
      return top.__lecternSearchState;
    } catch (e) {
      return null;
    }
  }

  // A new document in a frame takes the frame's find position with the old one.
  (function () {
    const s = window.top === window ? null : state();
    if (s && s.find && s.find.win === window) s.find = null;
  })();

  window.addEventListener('mousedown', function () {
    const s = state();
    if (!s || s.active === window) return;
    s.active = window;
    s.find = null;
  }, true);

  // The window the operations work on: the frame last clicked while it is still there, else the top.
  function target() {
    const s = state();
    let win = s && s.active;
    try {
      if (win && (win.closed || !win.document || !win.document.body)) win = null;
    } catch (e) {
      win = null;
    }
    return win || window;
  }

  // Every text node of the body in document order, with where each starts in the joined text.
  function textMap(doc) {
    const body = doc.body;
    if (!body) return null;
    const walker = doc.createTreeWalker(body, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT, {
      acceptNode(node) {
        if (node.nodeType === Node.TEXT_NODE) return NodeFilter.FILTER_ACCEPT;
        return kSkipped.has(node.nodeName.toUpperCase()) ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_SKIP;
      },
    });
    const map = { doc: doc, nodes: [], starts: [], index: new Map(), text: '' };
    const parts = [];
    let length = 0;
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      map.index.set(node, map.nodes.length);
      map.nodes.push(node);
      map.starts.push(length);
      parts.push(node.data);
      length += node.data.length;
    }
    map.text = parts.join('');
    return map;
  }

  // The text node and offset of a place in the joined text; the end of a node rather than the
  // start of the next, so a range ends where its text does.
  function pointAt(map, offset, isEnd) {
    let low = 0, high = map.nodes.length - 1;
    while (low < high) {
      const mid = (low + high + 1) >> 1;
      if (map.starts[mid] < offset || (!isEnd && map.starts[mid] === offset)) low = mid;
      else high = mid - 1;
    }
    return { node: map.nodes[low], offset: offset - map.starts[low] };
  }

  function rangeOf(map, start, end) {
    const range = map.doc.createRange();
    const from = pointAt(map, start, false);
    const to = pointAt(map, end, true);
    range.setStart(from.node, from.offset);
    range.setEnd(to.node, to.offset);
    return range;
  }

  // Where a boundary point of the document falls in the joined text.
  function offsetOf(map, container, offset) {
    if (container.nodeType === Node.TEXT_NODE && map.index.has(container))
      return map.starts[map.index.get(container)] + offset;
    const probe = map.doc.createRange();
    probe.setStart(container, offset);
    probe.collapse(true);
    for (let k = 0; k < map.nodes.length; k++)
      if (probe.comparePoint(map.nodes[k], 0) >= 0) return map.starts[k];
    return map.text.length;
  }

  // One word on from `at`: the rest of the word there (or one other sign), then the blanks after it.
  function afterWord(text, at) {
    let i = at;
    while (i < text.length && kWordChar.test(text[i])) i++;
    if (i === at && i < text.length && !kSpace.test(text[i])) i++;
    while (i < text.length && kSpace.test(text[i])) i++;
    return i;
  }

  // Letter case ignored; a blank in the text stands for any run of blanks in the page.
  function pattern(text) {
    // Only the pattern syntax is escaped: in Unicode mode an escaped '-' or '#' is an error.
    const escaped = text.replace(/[.*+?^${}()|[\]\\\/]/g, '\\$&').replace(/\s+/gu, '\\s+');
    return new RegExp(escaped, 'giu');
  }

  function findFrom(map, regex, from) {
    regex.lastIndex = from;
    const found = regex.exec(map.text);
    if (!found || found[0].length === 0) return null;
    return { start: found.index, end: found.index + found[0].length };
  }

  function mark(doc, range) {
    const text = range.toString();
    const font = doc.createElement('FONT');
    font.setAttribute('style', 'BACKGROUND-COLOR: darkblue');
    font.setAttribute('color', 'white');
    font.textContent = text;
    range.deleteContents();
    range.insertNode(font);
  }

  window.LecternSearch = {
    // Marks every occurrence of each word; the number of marks, or -1 when there is no page text.
    highlight(words) {
      const win = target();
      let doc;
      try {
        doc = win.document;
      } catch (e) {
        return -1;
      }
      if (!doc || !doc.body) return -1;
      let marks = 0;
      for (const word of words) {
        if (!word) continue;
        const map = textMap(doc);
        const regex = pattern(word);
        const hits = [];
        for (let hit = findFrom(map, regex, 0); hit; hit = findFrom(map, regex, afterWord(map.text, hit.end)))
          hits.push(hit);
        // From the last, so the places still to mark keep their nodes and offsets.
        for (let k = hits.length - 1; k >= 0; k--) mark(doc, rangeOf(map, hits[k].start, hits[k].end));
        marks += hits.length;
      }
      return marks;
    },

    // Selects the next occurrence of `text` after the last one found (with `backward`, the last
    // one before it, from the end when there is none); 1 when there was one.
    findNext(text, restart, backward) {
      const s = state();
      if (!s) return 0;
      if (restart) s.find = null;
      const win = target();
      let doc;
      try {
        doc = win.document;
      } catch (e) {
        return 0;
      }
      if (!doc || !doc.body) return 0;
      const map = textMap(doc);
      const regex = pattern(text);
      let hit = null;
      const current = s.find && s.find.win === win;
      if (backward) {
        const before = current ? offsetOf(map, s.find.range.startContainer, s.find.range.startOffset) : map.text.length;
        for (let h = findFrom(map, regex, 0); h && h.start < before; h = findFrom(map, regex, afterWord(map.text, h.end)))
          hit = h;
      } else {
        const from = current ? afterWord(map.text, offsetOf(map, s.find.range.startContainer, s.find.range.startOffset)) : 0;
        hit = findFrom(map, regex, from);
      }
      if (!hit) {
        s.find = null;
        return 0;
      }
      const range = rangeOf(map, hit.start, hit.end);
      s.find = { win: win, range: range.cloneRange(), start: hit.start };
      const selection = win.getSelection();
      selection.removeAllRanges();
      selection.addRange(range);
      const element = range.startContainer.parentElement;
      if (element) element.scrollIntoView({ block: 'nearest', inline: 'nearest' });
      return 1;
    },

    clear() {
      const s = state();
      if (s) s.find = null;
    },

    // For the reader's tests: where the last find stands in the joined text, -1 for nowhere.
    position() {
      const s = state();
      return s && s.find ? s.find.start : -1;
    },
  };
})();
