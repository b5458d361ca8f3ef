// States a class file in the order its bytes stand: pool entries, header, members, attributes.
// Anything may be stated, including malformed files (raw entries, wrong counts, truncation).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Big-endian byte assembly.
struct ByteWriter {
  Bytes bytes;
  ByteWriter& u1(std::uint32_t v);
  ByteWriter& u2(std::uint32_t v);
  ByteWriter& u4(std::uint32_t v);
  ByteWriter& raw(const Bytes& b);
  ByteWriter& text(std::string_view s);
};

// An attribute_info: name index, u4 length (the body size unless given), body.
Bytes Attribute(int nameIndex, const Bytes& body);
Bytes AttributeWithLength(int nameIndex, std::uint32_t length, const Bytes& body);

struct ExceptionRow {
  int startPC, endPC, handlerPC, catchType;
};

// A Code attribute body: max_stack, max_locals, the code, the exception table and nested attributes.
Bytes CodeBody(const Bytes& code, std::initializer_list<ExceptionRow> exceptions = {},
               std::initializer_list<Bytes> attrs = {}, int maxStack = 4, int maxLocals = 4);

class ClassBuilder {
public:
  ClassBuilder();

  // Constant pool entries; each returns its index.
  int Utf8(std::string_view text);
  int Unicode(std::string_view text);
  int Integer(std::uint32_t bits);
  int Float(std::uint32_t bits);
  int Long(std::uint32_t high, std::uint32_t low);
  int Double(std::uint32_t high, std::uint32_t low);
  int ClassRef(int nameIndex);
  int Class(std::string_view name);  // a Utf8 and a Class entry naming it
  int String(int utf8Index);
  int NameAndType(int nameIndex, int descriptorIndex);
  int Fieldref(int classIndex, int natIndex);
  int Methodref(int classIndex, int natIndex);
  int InterfaceMethodref(int classIndex, int natIndex);
  int MethodHandle(int kind, int refIndex);
  int MethodType(int descriptorIndex);
  int Dynamic(int bootstrap, int natIndex);
  int InvokeDynamic(int bootstrap, int natIndex);
  int Module(int nameIndex);
  int Package(int nameIndex);
  // Any tag and body, for malformed pools.
  int Raw(int tag, const Bytes& body, int slots = 1);
  // The index the next entry gets.
  int NextIndex() const { return next_; }
  // Writes this count instead of the real one.
  ClassBuilder& PoolCount(int count);

  ClassBuilder& Version(int major, int minor = 0);
  ClassBuilder& Access(int flags);
  ClassBuilder& This(int classIndex);
  ClassBuilder& Super(int classIndex);
  ClassBuilder& Interface(int classIndex);

  // Members and attributes; each attribute is a whole attribute_info (see Attribute).
  ClassBuilder& Field(int access, int nameIndex, int descriptorIndex, std::initializer_list<Bytes> attrs = {});
  ClassBuilder& Method(int access, int nameIndex, int descriptorIndex, std::initializer_list<Bytes> attrs = {});
  ClassBuilder& ClassAttr(const Bytes& attr);
  // Bytes after the class attributes.
  ClassBuilder& Trailing(const Bytes& bytes);

  Bytes Build() const;

private:
  struct Member {
    int access, name, descriptor;
    std::vector<Bytes> attrs;
  };
  int Add(int tag, const Bytes& body, int slots = 1);

  Bytes pool_;
  int next_ = 1;
  int poolCount_ = -1;
  int major_ = 45, minor_ = 3;
  int access_ = 0x21, this_ = 0, super_ = 0;
  std::vector<int> interfaces_;
  std::vector<Member> fields_, methods_;
  std::vector<Bytes> attrs_;
  Bytes trailing_;
};
