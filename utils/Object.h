// Root of the serialisable classes: a virtual destructor and a Serialize hook.
#pragma once

class CArchive;

class CObject {
public:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar) {}
};
