// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <memory>
#include <stdexcept>

// A run-time error: what went wrong, in words a user can act on.
class RuntimeError : public std::runtime_error
{
public:
    explicit RuntimeError(const QString &description)
        : std::runtime_error(description.toStdString())
        , m_description(description)
    {
    }

    const QString &description() const noexcept { return m_description; }

private:
    QString m_description;
};

// Like the runtime's "As New" objects: the object comes into being the
// first time anything touches it.
template<typename T>
class CreatedOnFirstUse
{
public:
    T *operator->() { return &get(); }
    T &operator*() { return get(); }
    bool exists() const { return m_object != nullptr; }

private:
    T &get()
    {
        if (!m_object)
            m_object = std::make_unique<T>();
        return *m_object;
    }
    std::unique_ptr<T> m_object;
};
