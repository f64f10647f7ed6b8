// The page scripting page: each control calls a member of the reader, list or menu object.
(function () {
  "use strict";
  var NOTES = "reading notes";

  function reader() {
    return window.external && window.external.reader;
  }

  function say(id, text) {
    document.getElementById(id).textContent = text;
  }

  function showInfo() {
    var r = reader();
    var lines = [
      "Title: " + r.getConfig("bookname"),
      "ID: " + r.id,
      "Author: " + r.getConfig("publisher"),
      "Home page: " + r.getConfig("homepage"),
      "E-mail: " + r.getConfig("email"),
      "Copyright: " + r.getConfig("copyright"),
      "Start page: " + r.startPage,
      "Registry root: " + r.registryRoot,
      "Contents enabled (script view): " + r.tocEnabled,
      "Page URL: '" + r.getPageURL(location.href) + "'",
      "Splitter: " + r.startupSplitter(0, 0, 0, 0, 0, 0, 0),
    ];
    say("info", lines.join("\n"));
  }

  function loadNotes() {
    var list = reader().createObject("vellum.std.list");
    list.loadFromRegistry(NOTES);
    return list;
  }

  function showNotes() {
    var list = loadNotes();
    var out = document.getElementById("notes");
    out.textContent = "";
    for (var i = 0; i < list.length; i++) {
      var item = document.createElement("li");
      item.textContent = list.item(i);
      out.appendChild(item);
    }
  }

  function addNote(atTop) {
    var text = document.getElementById("note").value;
    if (!text) return;
    var list = loadNotes();
    if (atTop) list.push_front(text);
    else list.push_back(text);
    list.saveToRegistry(NOTES);
    document.getElementById("note").value = "";
    showNotes();
  }

  function clearNotes() {
    reader().createObject("vellum.std.list").saveToRegistry(NOTES);
    showNotes();
  }

  function chooseColour() {
    var menu = reader().getMenuObj();
    menu.append("Red", 1);
    menu.append("Green", 2);
    menu.append("Blue", 3);
    var button = document.getElementById("menu").getBoundingClientRect();
    var chosen = menu.trackPopup(Math.round(button.left), Math.round(button.bottom));
    var names = ["nothing", "red", "green", "blue"];
    say("choice", "You chose " + (names[chosen] || "nothing") + ".");
  }

  document.addEventListener("DOMContentLoaded", function () {
    if (!reader()) return;
    var calls = document.querySelectorAll("[data-call]");
    for (var i = 0; i < calls.length; i++) {
      calls[i].addEventListener("click", function (event) {
        reader()[event.target.getAttribute("data-call")]();
      });
    }
    var sizes = document.querySelectorAll("[data-size]");
    for (var j = 0; j < sizes.length; j++) {
      sizes[j].addEventListener("click", function (event) {
        reader().set_textsize(Number(event.target.getAttribute("data-size")));
      });
    }
    document.getElementById("show-info").addEventListener("click", showInfo);
    document.getElementById("refresh2").addEventListener("click", function () { reader().refresh2(document); });
    document.getElementById("hide").addEventListener("click", function () {
      reader().visible = false;
      setTimeout(function () { reader().visible = true; }, 2000);
    });
    document.getElementById("message").addEventListener("click", function () {
      reader().showMessage("Hello from a page of the book.", "Page scripting");
    });
    document.getElementById("add-note").addEventListener("click", function () { addNote(false); });
    document.getElementById("add-note-first").addEventListener("click", function () { addNote(true); });
    document.getElementById("clear-notes").addEventListener("click", clearNotes);
    document.getElementById("menu").addEventListener("click", chooseColour);
    document.getElementById("extract-temp").addEventListener("click", function () {
      var copy = reader().extract("media/chime.wav", true);
      say("extracted", copy ? "Copied to " + copy : "The chime could not be copied.");
    });
    document.getElementById("extract-dialog").addEventListener("click", function () {
      window.external.extract("media/chime.wav");
    });
    showNotes();
  });
})();
