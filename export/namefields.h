#pragma once

#include <QString>

#include <vector>

namespace sondrel {

// One entry of the export-name field list: a label, whether it is part of the name,
// and the track-table field it stands for.
struct NameField
{
    QString label;
    bool chosen = false;
    int field = 0;

    friend bool operator==(const NameField &, const NameField &) = default;
};

using NameFields = std::vector<NameField>;

// The list as the program starts with it: Genre, Artist, Title, Album, ID, all chosen.
inline NameFields defaultNameFields()
{
    return {
        {QStringLiteral("Genre"), true, 8},
        {QStringLiteral("Artist"), true, 7},
        {QStringLiteral("Title"), true, 4},
        {QStringLiteral("Album"), true, 6},
        {QStringLiteral("ID"), true, 1},
    };
}

} // namespace sondrel
