#include "book/xml/node.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "book/xml/utf8.h"

namespace lectern::AdvXMLParser {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A literal in the quote it does not contain.
void AppendLiteral(std::string& out, const std::string& literal) {
  char quote = literal.find('"') == std::string::npos ? '"' : '\'';
  out += quote;
  out += literal;
  out += quote;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text, bool in_attribute) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += in_attribute ? "&quot;" : "\""; break;
      case '\t': out += in_attribute ? "&#9;" : "\t"; break;
      case '\n': out += in_attribute ? "&#10;" : "\n"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

// ---- Node memory

namespace {

thread_local NodeArena* t_node_arena = nullptr;

// Each node is preceded by the arena it came from (null for the heap).
constexpr size_t kNodeHeader = sizeof(void*);

}  // namespace

void* NodeArena::Allocate(size_t bytes, size_t alignment) {
  // Blocks stay below the size that malloc maps afresh, so that a program parsing one document
  // after another reuses the same memory.
  constexpr size_t kBlock = size_t(60) << 10;
  size_t pad = (alignment - (reinterpret_cast<uintptr_t>(next_) & (alignment - 1))) & (alignment - 1);
  if (bytes + pad > left_) {
    size_t block = std::max(kBlock, bytes + alignment);
    blocks_.push_back(std::unique_ptr<char[]>(new char[block]));
    next_ = blocks_.back().get();
    left_ = block;
    pad = (alignment - (reinterpret_cast<uintptr_t>(next_) & (alignment - 1))) & (alignment - 1);
  }
  void* memory = next_ + pad;
  next_ += pad + bytes;
  left_ -= pad + bytes;
  return memory;
}

void* AllocateListStorage(size_t bytes, NodeArena* arena) {
  return arena ? arena->Allocate(bytes, alignof(void*)) : ::operator new(bytes);
}
void FreeListStorage(void* storage) { ::operator delete(storage); }

NodeString::NodeString(std::string_view text) {
  if (text.empty()) return;
  if (t_node_arena) {
    data_ = static_cast<char*>(t_node_arena->Allocate(text.size(), 1));
    size_ = text.size();
  } else {
    data_ = new char[text.size()];
    size_ = text.size() | kHeapBit;
  }
  std::memcpy(data_, text.data(), text.size());
}

NodeString::~NodeString() {
  if (size_ & kHeapBit) delete[] data_;
}

NodeArenaScope::NodeArenaScope(NodeArena* arena) : previous_(t_node_arena) { t_node_arena = arena; }
NodeArenaScope::~NodeArenaScope() { t_node_arena = previous_; }

void* Node::operator new(size_t bytes) {
  NodeArena* arena = t_node_arena;
  char* memory = static_cast<char*>(arena ? arena->Allocate(bytes + kNodeHeader, kNodeHeader)
                                          : ::operator new(bytes + kNodeHeader));
  *reinterpret_cast<NodeArena**>(memory) = arena;
  return memory + kNodeHeader;
}

void Node::operator delete(void* memory) {
  if (!memory) return;
  char* start = static_cast<char*>(memory) - kNodeHeader;
  // Arena memory goes back with its arena.
  if (*reinterpret_cast<NodeArena**>(start) == nullptr) ::operator delete(start);
}

namespace {

// Where a node made by operator new lives (every child does: lists own what new made).
NodeArena* ArenaOf(const Node& node) {
  return *reinterpret_cast<NodeArena* const*>(reinterpret_cast<const char*>(&node) - kNodeHeader);
}

}  // namespace

// ---- Node

Node::Node(NodeContainer* parent) : parent_(parent) {}
Node::~Node() = default;
std::string Node::GetValue() const { return {}; }
std::string Node::GetText() const { return GetValue(); }
bool Node::IsKindOf(int) const { return false; }
std::unique_ptr<Node> Node::Clone(NodeContainer* parent) const { return CloneTree(*this, parent); }
void Node::Generate(std::string& out) const { GenerateTree(*this, out); }

const Element* Node::AsElement() const {
  return IsKindOf(kElement) ? static_cast<const Element*>(this) : nullptr;
}

// ---- NodeContainer

// Containers are made where operator new put them: in the active arena, else on the heap.
NodeContainer::NodeContainer() : arena_(t_node_arena) {}
NodeContainer::~NodeContainer() { DestroyChildren(); }

void NodeContainer::NoteChild(const Node& child) const {
  NodeArena* arena = ChildArena();
  if (arena && ArenaOf(child) != arena) arena->set_mixed();
}

void NodeContainer::DestroyChildren() {
  // Nodes with children of their own are emptied first, one level at a time, so that no
  // destructor recurses into a subtree; the rest go at once.
  std::vector<std::unique_ptr<Node>> pending;
  auto release = [&pending](Children& list) {
    for (auto& child : list) {
      NodeContainer* container = child->AsContainer();
      if (container && !container->children_.empty())
        pending.push_back(std::move(child));
      else
        child.reset();
    }
    list.clear();
  };
  release(children_);
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    release(node->AsContainer()->children_);
  }
}

Node& NodeContainer::Append(std::unique_ptr<Node> child) {
  NoteChild(*child);
  child->parent_ = this;
  children_.push_back(std::move(child), arena_);
  return *children_.back();
}

void NodeContainer::ForgetChildren() { children_.Forget(); }

void NodeContainer::AdoptChildren(std::vector<std::unique_ptr<Node>>& from, size_t begin) {
  if (begin >= from.size()) return;
  children_.reserve(children_.size() + (from.size() - begin), arena_);
  for (size_t i = begin; i < from.size(); ++i) {
    NoteChild(*from[i]);
    from[i]->parent_ = this;
    children_.push_back(std::move(from[i]), arena_);
  }
  from.resize(begin);
}

const Element* NodeContainer::FindElement(std::string_view name) const {
  for (const auto& child : children_)
    if (const Element* element = child->AsElement(); element && element->GetName() == name) return element;
  return nullptr;
}

std::vector<const Element*> NodeContainer::GetElements() const {
  std::vector<const Element*> elements;
  for (const auto& child : children_)
    if (const Element* element = child->AsElement()) elements.push_back(element);
  return elements;
}

std::string NodeContainer::CollectText(bool normalise) const {
  struct Frame {
    const NodeContainer* container;
    size_t next;
    bool normalise;
    std::string text;
  };
  std::vector<Frame> stack;
  stack.push_back({this, 0, normalise, {}});
  for (;;) {
    Frame& top = stack.back();
    if (top.next < top.container->children_.size()) {
      const Node& child = *top.container->children_[top.next++];
      if (const NodeContainer* container = child.AsContainer()) {
        const Element* element = child.AsElement();
        stack.push_back({container, 0, element && !element->preserves_space(), {}});
      } else if (!child.IsKindOf(kComment) && !child.IsKindOf(kPi)) {
        top.text += child.GetValue();
      }
      continue;
    }
    std::string done = top.normalise ? NormaliseSpace(top.text) : std::move(top.text);
    stack.pop_back();
    if (stack.empty()) return done;
    stack.back().text += done;
  }
}

std::string NormaliseSpace(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool pending_space = false;
  for (char c : text) {
    if (IsSpace(c)) {
      pending_space = !out.empty();
      continue;
    }
    if (pending_space) out += ' ';
    pending_space = false;
    out += c;
  }
  return out;
}

// ---- Attribute

Attribute::Attribute(std::string_view name, NodeContainer* parent) : NamedNode(name, parent) {}
Attribute::~Attribute() = default;
std::string Attribute::GetValue() const { return CollectText(false); }
std::string Attribute::GetText() const { return CollectText(false); }
bool Attribute::IsKindOf(int kind) const { return kind == kAttribute; }

void Attribute::Generate(std::string& out) const {
  out += GetName();
  out += "=\"";
  for (const auto& child : children()) {
    if (child->IsKindOf(kText))
      AppendEscaped(out, static_cast<const Text&>(*child).text(), true);
    else
      child->Generate(out);
  }
  out += '"';
}

std::unique_ptr<Node> Attribute::CopyShallow(NodeContainer* parent) const {
  return std::make_unique<Attribute>(GetName(), parent);
}

const Attribute& EmptyAttribute() {
  static const Attribute empty("");
  return empty;
}

// ---- Element

Element::Element(std::string_view name, NodeContainer* parent)
    : NamedNode(name, parent) {}
Element::~Element() = default;
std::string Element::GetValue() const { return {}; }
std::string Element::GetText() const { return CollectText(!preserves_space_); }
bool Element::IsKindOf(int kind) const { return kind == kElement; }

Attribute& Element::AddAttribute(std::string_view name) {
  attributes_.push_back(std::make_unique<Attribute>(name, this), container_arena());
  NoteChild(*attributes_.back());
  return *attributes_.back();
}

const Attribute& Element::FindAttribute(std::string_view name) const {
  for (const auto& attribute : attributes_)
    if (attribute->GetName() == name) return *attribute;
  return EmptyAttribute();
}

bool Element::HasAttribute(std::string_view name) const { return &FindAttribute(name) != &EmptyAttribute(); }

std::unique_ptr<Node> Element::CopyShallow(NodeContainer* parent) const {
  auto copy = std::make_unique<Element>(GetName(), parent);
  copy->preserves_space_ = preserves_space_;
  // Attribute values are one level of leaves, so a plain copy of each is bounded.
  for (const auto& attribute : attributes_) {
    copy->attributes_.push_back(
        std::unique_ptr<Attribute>(static_cast<Attribute*>(CloneTree(*attribute, copy.get()).release())),
        copy->container_arena());
    copy->NoteChild(*copy->attributes_.back());
  }
  return copy;
}

void Element::GenerateOpen(std::string& out) const {
  out += '<';
  out += GetName();
  for (const auto& attribute : attributes_) {
    out += ' ';
    attribute->Generate(out);
  }
  out += children().empty() ? "/>" : ">";
}

void Element::GenerateClose(std::string& out) const {
  if (children().empty()) return;
  out += "</";
  out += GetName();
  out += '>';
}

// ---- Leaves

Text::Text(std::string_view text, NodeContainer* parent) : Node(parent), text_(text) {}
bool Text::IsKindOf(int kind) const { return kind == kText; }
void Text::Generate(std::string& out) const { AppendEscaped(out, text_, false); }
std::unique_ptr<Node> Text::CopyShallow(NodeContainer* parent) const { return std::make_unique<Text>(text_, parent); }

CData::CData(std::string_view text, NodeContainer* parent) : Node(parent), text_(text) {}
bool CData::IsKindOf(int kind) const { return kind == kCData; }
void CData::Generate(std::string& out) const {
  // A "]]>" inside (possible only in a tree built by hand) is split across two sections.
  out += "<![CDATA[";
  std::string_view text = text_;
  size_t from = 0;
  for (size_t at; (at = text.find("]]>", from)) != std::string_view::npos; from = at + 2) {
    out.append(text, from, at + 2 - from);
    out += "]]><![CDATA[";
  }
  out.append(text, from);
  out += "]]>";
}
std::unique_ptr<Node> CData::CopyShallow(NodeContainer* parent) const { return std::make_unique<CData>(text_, parent); }

bool Reference::IsKindOf(int kind) const { return kind == kReference; }

CharRef::CharRef(uint32_t code_point, NodeContainer* parent) : Reference({}, parent), code_point_(code_point) {}
std::string CharRef::GetValue() const {
  std::string out;
  AppendUtf8(out, code_point_);
  return out;
}
void CharRef::Generate(std::string& out) const {
  out += "&#";
  out += std::to_string(code_point_);
  out += ';';
}
std::unique_ptr<Node> CharRef::CopyShallow(NodeContainer* parent) const {
  return std::make_unique<CharRef>(code_point_, parent);
}

EntityRef::EntityRef(std::string_view name, std::string_view replacement, NodeContainer* parent)
    : Reference(name, parent), replacement_(replacement) {}
void EntityRef::Generate(std::string& out) const {
  out += '&';
  out += GetName();
  out += ';';
}
std::unique_ptr<Node> EntityRef::CopyShallow(NodeContainer* parent) const {
  return std::make_unique<EntityRef>(GetName(), replacement_, parent);
}

Pi::Pi(std::string_view target, std::string_view data, NodeContainer* parent)
    : NamedNode(target, parent), data_(data) {}
bool Pi::IsKindOf(int kind) const { return kind == kPi; }
void Pi::Generate(std::string& out) const {
  out += "<?";
  out += GetName();
  if (!data_.view().empty()) {
    out += ' ';
    out += data_.view();
  }
  out += "?>";
}
std::unique_ptr<Node> Pi::CopyShallow(NodeContainer* parent) const {
  return std::make_unique<Pi>(GetName(), data_, parent);
}

Comment::Comment(std::string_view text, NodeContainer* parent) : Node(parent), text_(text) {}
bool Comment::IsKindOf(int kind) const { return kind == kComment; }
void Comment::Generate(std::string& out) const {
  out += "<!--";
  out += text_;
  out += "-->";
}
std::unique_ptr<Node> Comment::CopyShallow(NodeContainer* parent) const {
  return std::make_unique<Comment>(text_, parent);
}

// ---- Document

Document::Document() : Node(nullptr) {}
// The children may live in this document's arena, which goes with the members: free them first.
// When they all do, the arena takes them with it and no node needs a visit.
Document::~Document() {
  if (nodes_in_arena_ && !arena_.mixed())
    ForgetChildren();
  DestroyChildren();
}

NodeArena* Document::ChildArena() const { return nodes_in_arena_ ? &arena_ : nullptr; }
std::string Document::GetText() const { return CollectText(false); }
bool Document::IsKindOf(int kind) const { return kind == kDocument; }

const Element* Document::GetRoot() const {
  for (const auto& child : children())
    if (const Element* element = child->AsElement()) return element;
  return nullptr;
}

std::unique_ptr<Document> Document::CloneDocument() const {
  return std::unique_ptr<Document>(static_cast<Document*>(Clone(nullptr).release()));
}

std::unique_ptr<Node> Document::CopyShallow(NodeContainer*) const {
  auto copy = std::make_unique<Document>();
  copy->has_declaration = has_declaration;
  copy->version = version;
  copy->encoding = encoding;
  copy->has_standalone = has_standalone;
  copy->standalone = standalone;
  copy->doctype = doctype;
  copy->doctype_position = doctype_position;
  return copy;
}

void Document::Generate(std::string& out) const {
  if (has_declaration) {
    out += "<?xml version=\"";
    out += version;
    out += '"';
    // The tree is UTF-8 whatever the source was written in, and so is what is written here.
    if (!encoding.empty()) out += " encoding=\"UTF-8\"";
    if (has_standalone) out += standalone ? " standalone=\"yes\"" : " standalone=\"no\"";
    out += "?>";
  }
  auto write_doctype = [&] {
    out += "<!DOCTYPE ";
    out += doctype.name;
    if (!doctype.public_id.empty()) {
      out += " PUBLIC ";
      AppendLiteral(out, doctype.public_id);
      out += ' ';
      AppendLiteral(out, doctype.system_id);
    } else if (!doctype.system_id.empty()) {
      out += " SYSTEM ";
      AppendLiteral(out, doctype.system_id);
    }
    if (doctype.has_internal_subset) {
      out += " [";
      out += doctype.internal_subset;
      out += ']';
    }
    out += '>';
  };
  for (size_t i = 0; i < children().size(); ++i) {
    if (doctype.present && i == doctype_position) write_doctype();
    GenerateTree(*children()[i], out);
  }
  if (doctype.present && doctype_position >= children().size()) write_doctype();
}

// ---- Tree walks

std::unique_ptr<Node> CloneTree(const Node& source, NodeContainer* parent) {
  std::unique_ptr<Node> copy = source.CopyShallow(parent);
  std::vector<std::pair<const NodeContainer*, NodeContainer*>> pending;
  if (const NodeContainer* from = source.AsContainer()) pending.emplace_back(from, copy->AsContainer());
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (const auto& child : from->children_) {
      Node& added = to->Append(child->CopyShallow(to));
      if (const NodeContainer* grand = child->AsContainer()) pending.emplace_back(grand, added.AsContainer());
    }
  }
  return copy;
}

void GenerateTree(const Node& root, std::string& out) {
  // Elements are opened, their children queued, and closed when the walk comes back to them.
  struct Step {
    const Node* node;
    bool close;
  };
  std::vector<Step> pending{{&root, false}};
  while (!pending.empty()) {
    Step step = pending.back();
    pending.pop_back();
    const Element* element = step.node->AsElement();
    if (!element) {
      step.node->Generate(out);
      continue;
    }
    if (step.close) {
      element->GenerateClose(out);
      continue;
    }
    element->GenerateOpen(out);
    const auto& children = element->children();
    if (children.empty()) continue;
    pending.push_back({element, true});
    for (size_t i = children.size(); i-- > 0;) pending.push_back({children[i].get(), false});
  }
}

}  // namespace lectern::AdvXMLParser
