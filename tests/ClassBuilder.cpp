#include "ClassBuilder.h"

ByteWriter& ByteWriter::u1(std::uint32_t v) {
  bytes.push_back(static_cast<std::uint8_t>(v));
  return *this;
}
ByteWriter& ByteWriter::u2(std::uint32_t v) { return u1(v >> 8).u1(v); }
ByteWriter& ByteWriter::u4(std::uint32_t v) { return u2(v >> 16).u2(v); }
ByteWriter& ByteWriter::raw(const Bytes& b) {
  bytes.insert(bytes.end(), b.begin(), b.end());
  return *this;
}
ByteWriter& ByteWriter::text(std::string_view s) {
  bytes.insert(bytes.end(), s.begin(), s.end());
  return *this;
}

Bytes AttributeWithLength(int nameIndex, std::uint32_t length, const Bytes& body) {
  return ByteWriter().u2(nameIndex).u4(length).raw(body).bytes;
}

Bytes Attribute(int nameIndex, const Bytes& body) {
  return AttributeWithLength(nameIndex, static_cast<std::uint32_t>(body.size()), body);
}

Bytes CodeBody(const Bytes& code, std::initializer_list<ExceptionRow> exceptions, std::initializer_list<Bytes> attrs,
               int maxStack, int maxLocals) {
  ByteWriter w;
  w.u2(maxStack).u2(maxLocals).u4(static_cast<std::uint32_t>(code.size())).raw(code);
  w.u2(static_cast<std::uint32_t>(exceptions.size()));
  for (const ExceptionRow& e : exceptions) w.u2(e.startPC).u2(e.endPC).u2(e.handlerPC).u2(e.catchType);
  w.u2(static_cast<std::uint32_t>(attrs.size()));
  for (const Bytes& a : attrs) w.raw(a);
  return w.bytes;
}

ClassBuilder::ClassBuilder() = default;

int ClassBuilder::Add(int tag, const Bytes& body, int slots) {
  pool_.push_back(static_cast<std::uint8_t>(tag));
  pool_.insert(pool_.end(), body.begin(), body.end());
  const int index = next_;
  next_ += slots;
  return index;
}

int ClassBuilder::Utf8(std::string_view text) {
  return Add(1, ByteWriter().u2(static_cast<std::uint32_t>(text.size())).text(text).bytes);
}
int ClassBuilder::Unicode(std::string_view text) {
  return Add(2, ByteWriter().u2(static_cast<std::uint32_t>(text.size())).text(text).bytes);
}
int ClassBuilder::Integer(std::uint32_t bits) { return Add(3, ByteWriter().u4(bits).bytes); }
int ClassBuilder::Float(std::uint32_t bits) { return Add(4, ByteWriter().u4(bits).bytes); }
int ClassBuilder::Long(std::uint32_t high, std::uint32_t low) { return Add(5, ByteWriter().u4(high).u4(low).bytes, 2); }
int ClassBuilder::Double(std::uint32_t high, std::uint32_t low) {
  return Add(6, ByteWriter().u4(high).u4(low).bytes, 2);
}
int ClassBuilder::ClassRef(int nameIndex) { return Add(7, ByteWriter().u2(nameIndex).bytes); }
int ClassBuilder::Class(std::string_view name) { return ClassRef(Utf8(name)); }
int ClassBuilder::String(int utf8Index) { return Add(8, ByteWriter().u2(utf8Index).bytes); }
int ClassBuilder::NameAndType(int nameIndex, int descriptorIndex) {
  return Add(12, ByteWriter().u2(nameIndex).u2(descriptorIndex).bytes);
}
int ClassBuilder::Fieldref(int classIndex, int natIndex) {
  return Add(9, ByteWriter().u2(classIndex).u2(natIndex).bytes);
}
int ClassBuilder::Methodref(int classIndex, int natIndex) {
  return Add(10, ByteWriter().u2(classIndex).u2(natIndex).bytes);
}
int ClassBuilder::InterfaceMethodref(int classIndex, int natIndex) {
  return Add(11, ByteWriter().u2(classIndex).u2(natIndex).bytes);
}
int ClassBuilder::MethodHandle(int kind, int refIndex) { return Add(15, ByteWriter().u1(kind).u2(refIndex).bytes); }
int ClassBuilder::MethodType(int descriptorIndex) { return Add(16, ByteWriter().u2(descriptorIndex).bytes); }
int ClassBuilder::Dynamic(int bootstrap, int natIndex) {
  return Add(17, ByteWriter().u2(bootstrap).u2(natIndex).bytes);
}
int ClassBuilder::InvokeDynamic(int bootstrap, int natIndex) {
  return Add(18, ByteWriter().u2(bootstrap).u2(natIndex).bytes);
}
int ClassBuilder::Module(int nameIndex) { return Add(19, ByteWriter().u2(nameIndex).bytes); }
int ClassBuilder::Package(int nameIndex) { return Add(20, ByteWriter().u2(nameIndex).bytes); }
int ClassBuilder::Raw(int tag, const Bytes& body, int slots) { return Add(tag, body, slots); }

ClassBuilder& ClassBuilder::PoolCount(int count) {
  poolCount_ = count;
  return *this;
}
ClassBuilder& ClassBuilder::Version(int major, int minor) {
  major_ = major;
  minor_ = minor;
  return *this;
}
ClassBuilder& ClassBuilder::Access(int flags) {
  access_ = flags;
  return *this;
}
ClassBuilder& ClassBuilder::This(int classIndex) {
  this_ = classIndex;
  return *this;
}
ClassBuilder& ClassBuilder::Super(int classIndex) {
  super_ = classIndex;
  return *this;
}
ClassBuilder& ClassBuilder::Interface(int classIndex) {
  interfaces_.push_back(classIndex);
  return *this;
}
ClassBuilder& ClassBuilder::Field(int access, int nameIndex, int descriptorIndex, std::initializer_list<Bytes> attrs) {
  fields_.push_back({access, nameIndex, descriptorIndex, attrs});
  return *this;
}
ClassBuilder& ClassBuilder::Method(int access, int nameIndex, int descriptorIndex, std::initializer_list<Bytes> attrs) {
  methods_.push_back({access, nameIndex, descriptorIndex, attrs});
  return *this;
}
ClassBuilder& ClassBuilder::ClassAttr(const Bytes& attr) {
  attrs_.push_back(attr);
  return *this;
}
ClassBuilder& ClassBuilder::Trailing(const Bytes& bytes) {
  trailing_ = bytes;
  return *this;
}

Bytes ClassBuilder::Build() const {
  ByteWriter w;
  w.u4(0xCAFEBABE).u2(minor_).u2(major_);
  w.u2(poolCount_ >= 0 ? poolCount_ : next_).raw(pool_);
  w.u2(access_).u2(this_).u2(super_);
  w.u2(static_cast<std::uint32_t>(interfaces_.size()));
  for (int i : interfaces_) w.u2(i);
  for (const auto* members : {&fields_, &methods_}) {
    w.u2(static_cast<std::uint32_t>(members->size()));
    for (const Member& m : *members) {
      w.u2(m.access).u2(m.name).u2(m.descriptor).u2(static_cast<std::uint32_t>(m.attrs.size()));
      for (const Bytes& a : m.attrs) w.raw(a);
    }
  }
  w.u2(static_cast<std::uint32_t>(attrs_.size()));
  for (const Bytes& a : attrs_) w.raw(a);
  w.raw(trailing_);
  return w.bytes;
}
