#pragma once

#include <host/IV_File_Reader.h>
#include <host/ProgressCallback.h>
#include <host/Result_File.h>

#include <cstdint>
#include <string>
#include <vector>

// Connects a concrete reader T to a host interface: the factory the registry calls, and
// the type identity answered from T's statics (s_registration_id, s_type_name,
// s_extensions_list).
template <typename T, typename Base>
class ReaderAdapter : public Base {
public:
    explicit ReaderAdapter(const std::string& path) : Base(path) {}
    ReaderAdapter(const ReaderAdapter& other) : Base(other) {}
    ReaderAdapter& operator=(const ReaderAdapter& other)
    {
        Base::operator=(other);
        return *this;
    }
    ReaderAdapter& operator=(ReaderAdapter&& other)
    {
        Base::operator=(other);
        return *this;
    }
    ~ReaderAdapter() override = default;

    // The caller owns the new reader; a throwing constructor leaves nothing behind.
    static Base* create(const std::string& path, ProgressCallback& progress) { return new T(path, progress); }

    std::uint64_t getTypeId() const override { return T::s_registration_id; }
    std::string getTypeName() const override { return T::s_type_name; }
    std::vector<std::string> getExtensionsList() const override { return T::s_extensions_list; }
};

template <typename T>
using IV_File_ReaderImpl = ReaderAdapter<T, IV_File_Reader>;

template <typename T>
using Result_FileImpl = ReaderAdapter<T, Result_File>;
