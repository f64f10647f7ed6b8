// The XML document model: a tree of nodes that owns its children, with text extraction, deep
// copies and serialisation. Strings are 8-bit; anything that is not markup passes through
// unchanged, so UTF-8 text stays UTF-8.
//
// Every tree walk (teardown, Clone, GetText, Generate) keeps its own work list instead of
// recursing, so a tree of any depth is safe to copy, print and free.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace lectern::AdvXMLParser {

// What IsKindOf answers to. Both reference kinds answer kReference; 6 is unused.
enum Kind : int {
  kNode = 0,
  kElement = 1,
  kAttribute = 2,
  kText = 3,
  kCData = 4,
  kReference = 5,
  kPi = 7,
  kComment = 8,
  kDocument = 9,
};

class NodeContainer;
class Element;

// Memory for the nodes of one parsed document (the nodes, their strings and their child lists),
// taken in large blocks and given back all at once when the document goes. While a
// NodeArenaScope is active on a thread, nodes made on that thread live in its arena; at other
// times they live on the heap. Either kind is freed by delete, and the two may be mixed in a tree.
class NodeArena {
 public:
  NodeArena() = default;
  NodeArena(const NodeArena&) = delete;
  NodeArena& operator=(const NodeArena&) = delete;

  void* Allocate(size_t bytes, size_t alignment);

  // Set when a node from elsewhere joins a tree of this arena's nodes.
  bool mixed() const { return mixed_; }
  void set_mixed() { mixed_ = true; }

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;
  size_t left_ = 0;
  bool mixed_ = false;
};

class NodeArenaScope {
 public:
  explicit NodeArenaScope(NodeArena* arena);
  ~NodeArenaScope();
  NodeArenaScope(const NodeArenaScope&) = delete;
  NodeArenaScope& operator=(const NodeArenaScope&) = delete;

 private:
  NodeArena* previous_;
};

// The text a node owns: in the active arena when made, else on the heap (freed with it).
class NodeString {
 public:
  NodeString() = default;
  explicit NodeString(std::string_view text);
  ~NodeString();
  NodeString(const NodeString&) = delete;
  NodeString& operator=(const NodeString&) = delete;

  std::string_view view() const { return {data_, size_ & ~kHeapBit}; }
  operator std::string_view() const { return view(); }

 private:
  static constexpr size_t kHeapBit = size_t(1) << (sizeof(size_t) * 8 - 1);
  char* data_ = nullptr;
  size_t size_ = 0;  // kHeapBit: data_ came from new[]
};

// Storage for node lists: the arena's when given, else the heap's.
void* AllocateListStorage(size_t bytes, NodeArena* arena);
void FreeListStorage(void* storage);

// An owning list of nodes in 16 bytes; its storage comes from the owner's arena or the heap.
template <typename T>
class NodeList {
 public:
  using Item = std::unique_ptr<T>;

  NodeList() = default;
  ~NodeList() {
    clear();
    if (capacity_ & kHeapBit) FreeListStorage(data_);
  }
  NodeList(const NodeList&) = delete;
  NodeList& operator=(const NodeList&) = delete;

  const Item* begin() const { return data_; }
  const Item* end() const { return data_ + size_; }
  Item* begin() { return data_; }
  Item* end() { return data_ + size_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const Item& operator[](size_t i) const { return data_[i]; }
  Item& operator[](size_t i) { return data_[i]; }
  const Item& back() const { return data_[size_ - 1]; }

  void reserve(size_t count, NodeArena* arena) {
    if (count <= capacity()) return;
    if (count > kMaxCount) throw std::bad_alloc();
    auto* grown = static_cast<Item*>(AllocateListStorage(count * sizeof(Item), arena));
    for (uint32_t i = 0; i < size_; ++i) {
      new (grown + i) Item(std::move(data_[i]));
      data_[i].~Item();
    }
    if (capacity_ & kHeapBit) FreeListStorage(data_);
    data_ = grown;
    capacity_ = uint32_t(count) | (arena ? 0 : kHeapBit);
  }
  void push_back(Item item, NodeArena* arena) {
    if (size_ == capacity()) reserve(size_ < 2 ? 2 : size_t(size_) * 2, arena);
    new (data_ + size_) Item(std::move(item));
    ++size_;
  }
  // Frees the items, first to last; the storage stays.
  void clear() {
    for (uint32_t i = 0; i < size_; ++i) data_[i].~Item();
    size_ = 0;
  }
  // Lets go of the items without freeing them.
  void Forget() {
    for (uint32_t i = 0; i < size_; ++i) static_cast<void>(data_[i].release());
    size_ = 0;
  }

 private:
  static constexpr uint32_t kHeapBit = uint32_t(1) << 31;
  static constexpr size_t kMaxCount = kHeapBit - 1;
  size_t capacity() const { return capacity_ & ~kHeapBit; }

  Item* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;  // kHeapBit: the storage is the heap's
};

class Node {
 public:
  static void* operator new(size_t bytes);
  static void operator delete(void* memory);

  virtual ~Node();
  // The node's own text; empty for elements and documents.
  virtual std::string GetValue() const;
  // For leaves the same as GetValue; containers concatenate their children's GetText.
  virtual std::string GetText() const;
  // True only for the node's own kind.
  virtual bool IsKindOf(int kind) const;
  // A deep copy, attached to `parent` (which does not take ownership: add the copy yourself).
  virtual std::unique_ptr<Node> Clone(NodeContainer* parent) const;
  // Appends the node as XML text.
  virtual void Generate(std::string& out) const;

  // The container side of elements, attributes and documents; null for leaves.
  virtual NodeContainer* AsContainer() { return nullptr; }
  virtual const NodeContainer* AsContainer() const { return nullptr; }

  // Elements, attributes, entity references and processing instructions have one.
  virtual std::string_view GetName() const { return {}; }
  NodeContainer* GetParent() const { return parent_; }
  // Null unless IsKindOf(kElement).
  const Element* AsElement() const;

 protected:
  explicit Node(NodeContainer* parent = nullptr);
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  // A copy of the node's own data (for elements: with attributes, without children).
  virtual std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const = 0;

 private:
  friend class NodeContainer;
  friend std::unique_ptr<Node> CloneTree(const Node& source, NodeContainer* parent);
  friend void GenerateTree(const Node& root, std::string& out);
  NodeContainer* parent_;
};

// A node with a name of its own.
class NamedNode : public Node {
 public:
  std::string_view GetName() const override { return name_.view(); }

 protected:
  explicit NamedNode(std::string_view name, NodeContainer* parent = nullptr) : Node(parent), name_(name) {}

 private:
  NodeString name_;
};

// Owns its children in document order and frees them with itself.
class NodeContainer {
 public:
  using Children = NodeList<Node>;

  virtual ~NodeContainer();
  virtual Node& AsNode() = 0;
  virtual const Node& AsNode() const = 0;

  const Children& children() const { return children_; }
  size_t GetChildCount() const { return children_.size(); }
  Node* GetChild(size_t index) const { return index < children_.size() ? children_[index].get() : nullptr; }
  // Takes `child` as the last child and makes this its parent.
  Node& Append(std::unique_ptr<Node> child);
  // Appends from[begin..] in order and removes them from `from`.
  void AdoptChildren(std::vector<std::unique_ptr<Node>>& from, size_t begin);
  template <typename T, typename... Args>
  T& Add(Args&&... args) {
    auto child = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *child;
    Append(std::move(child));
    return ref;
  }

  // The first child element with exactly this name, or null.
  const Element* FindElement(std::string_view name) const;
  // The child elements, in order.
  std::vector<const Element*> GetElements() const;

 protected:
  NodeContainer();
  // The arena the container was made in (its lists' storage), null for the heap.
  NodeArena* container_arena() const { return arena_; }
  // The arena that this container's children are expected to share, null for the heap.
  virtual NodeArena* ChildArena() const { return arena_; }
  // Notes a child from another arena (or the heap), which the fast teardown must not skip.
  void NoteChild(const Node& child) const;
  // Concatenated GetText of the children; `normalise` folds white space as elements do.
  std::string CollectText(bool normalise) const;
  // Frees every child (and their subtrees) now.
  void DestroyChildren();
  // Lets go of the children without freeing them: for nodes whose arena frees them all at once.
  void ForgetChildren();

 private:
  friend std::unique_ptr<Node> CloneTree(const Node& source, NodeContainer* parent);
  Children children_;
  NodeArena* arena_;
};

// An attribute's value is its children: Text and Reference nodes.
class Attribute : public NamedNode, public NodeContainer {
 public:
  explicit Attribute(std::string_view name, NodeContainer* parent = nullptr);
  ~Attribute() override;
  // The value, references resolved.
  std::string GetValue() const override;
  std::string GetText() const override;
  bool IsKindOf(int kind) const override;
  void Generate(std::string& out) const override;
  NodeContainer* AsContainer() override { return this; }
  const NodeContainer* AsContainer() const override { return this; }
  Node& AsNode() override { return *this; }
  const Node& AsNode() const override { return *this; }

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;
};

// The attribute that FindAttribute answers when there is none: no children, empty text.
const Attribute& EmptyAttribute();

class Element : public NamedNode, public NodeContainer {
 public:
  using Attributes = NodeList<Attribute>;

  explicit Element(std::string_view name, NodeContainer* parent = nullptr);
  ~Element() override;
  std::string GetValue() const override;
  // Children's text with white-space runs folded to one space and the ends trimmed, unless the
  // element carries xml:space="preserve".
  std::string GetText() const override;
  bool IsKindOf(int kind) const override;
  NodeContainer* AsContainer() override { return this; }
  const NodeContainer* AsContainer() const override { return this; }
  Node& AsNode() override { return *this; }
  const Node& AsNode() const override { return *this; }

  const Attributes& attributes() const { return attributes_; }
  Attribute& AddAttribute(std::string_view name);
  // The first attribute with exactly this name; EmptyAttribute() when there is none.
  const Attribute& FindAttribute(std::string_view name) const;
  bool HasAttribute(std::string_view name) const;
  bool preserves_space() const { return preserves_space_; }
  void set_preserves_space(bool preserve) { preserves_space_ = preserve; }

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;

 private:
  friend void GenerateTree(const Node& root, std::string& out);
  // The start tag (an empty-element tag when there are no children) and the end tag.
  void GenerateOpen(std::string& out) const;
  void GenerateClose(std::string& out) const;

  Attributes attributes_;
  bool preserves_space_ = false;
};

class Text : public Node {
 public:
  explicit Text(std::string_view text, NodeContainer* parent = nullptr);
  std::string GetValue() const override { return std::string(text_.view()); }
  bool IsKindOf(int kind) const override;
  void Generate(std::string& out) const override;
  std::string_view text() const { return text_; }

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;

 private:
  NodeString text_;
};

class CData : public Node {
 public:
  explicit CData(std::string_view text, NodeContainer* parent = nullptr);
  std::string GetValue() const override { return std::string(text_.view()); }
  bool IsKindOf(int kind) const override;
  void Generate(std::string& out) const override;

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;

 private:
  NodeString text_;
};

class Reference : public NamedNode {
 public:
  bool IsKindOf(int kind) const override;

 protected:
  using NamedNode::NamedNode;
};

// A character reference. The value is a code point; GetValue gives it as UTF-8.
class CharRef : public Reference {
 public:
  explicit CharRef(uint32_t code_point, NodeContainer* parent = nullptr);
  std::string GetValue() const override;
  void Generate(std::string& out) const override;
  uint32_t code_point() const { return code_point_; }

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;

 private:
  uint32_t code_point_;
};

// A reference to a named entity; the name is the node's name. The replacement is the entity's
// text with its own references resolved (empty for an external entity, which is not read).
class EntityRef : public Reference {
 public:
  EntityRef(std::string_view name, std::string_view replacement, NodeContainer* parent = nullptr);
  std::string GetValue() const override { return std::string(replacement_.view()); }
  void Generate(std::string& out) const override;

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;

 private:
  NodeString replacement_;
};

// A processing instruction; the target is the node's name.
class Pi : public NamedNode {
 public:
  Pi(std::string_view target, std::string_view data, NodeContainer* parent = nullptr);
  std::string GetValue() const override { return std::string(data_.view()); }
  bool IsKindOf(int kind) const override;
  void Generate(std::string& out) const override;
  std::string_view target() const { return GetName(); }

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;

 private:
  NodeString data_;
};

class Comment : public Node {
 public:
  explicit Comment(std::string_view text, NodeContainer* parent = nullptr);
  std::string GetValue() const override { return std::string(text_.view()); }
  bool IsKindOf(int kind) const override;
  void Generate(std::string& out) const override;

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;

 private:
  NodeString text_;
};

// A general entity declared in the document type declaration.
struct EntityDeclaration {
  std::string value;  // internal entities: the literal with character references resolved
  std::string public_id, system_id;
  std::string notation;  // NDATA: an unparsed entity
  bool external = false;
};

// The document type declaration as written.
struct DocumentType {
  bool present = false;
  std::string name;
  std::string public_id, system_id;
  bool has_internal_subset = false;
  std::string internal_subset;  // the text between [ and ]
  std::map<std::string, EntityDeclaration, std::less<>> entities;
};

class Document : public Node, public NodeContainer {
 public:
  Document();
  ~Document() override;
  std::string_view GetName() const override { return "#document"; }
  std::string GetText() const override;
  bool IsKindOf(int kind) const override;
  void Generate(std::string& out) const override;
  NodeContainer* AsContainer() override { return this; }
  const NodeContainer* AsContainer() const override { return this; }
  Node& AsNode() override { return *this; }
  const Node& AsNode() const override { return *this; }

  // The root element, or null in a document being built.
  const Element* GetRoot() const;
  std::unique_ptr<Document> CloneDocument() const;

  // The XML declaration; has_declaration is false when the text had none.
  bool has_declaration = false;
  std::string version;
  std::string encoding;
  bool has_standalone = false;
  bool standalone = false;
  DocumentType doctype;
  // How many top-level children came before the document type declaration.
  size_t doctype_position = 0;

  // Where the parser puts this document's nodes; it lives as long as the document.
  NodeArena& node_arena() { return arena_; }
  // Set by the parser: every node of the tree lives in node_arena() (until one from elsewhere
  // joins, which the arena notes), so the teardown can drop the arena without visiting nodes.
  void set_nodes_in_arena() { nodes_in_arena_ = true; }

 protected:
  std::unique_ptr<Node> CopyShallow(NodeContainer* parent) const override;
  NodeArena* ChildArena() const override;

 private:
  // The destructor frees the children before this goes.
  mutable NodeArena arena_;
  bool nodes_in_arena_ = false;
};

// Deep copy and serialisation of any subtree, without recursion.
std::unique_ptr<Node> CloneTree(const Node& source, NodeContainer* parent);
void GenerateTree(const Node& root, std::string& out);

// `text` as XML content: markup characters as references; in attribute values (written in double
// quotes) also the quote and the white space that a reader would otherwise fold.
void AppendEscaped(std::string& out, std::string_view text, bool in_attribute);

// White-space runs (space, tab, CR, LF) folded to one space, both ends trimmed.
std::string NormaliseSpace(std::string_view text);

}  // namespace lectern::AdvXMLParser
