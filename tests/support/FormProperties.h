#pragma once

#include <QObject>
#include <QStringList>

#include <string>

/// "object.property" for every dynamic property of the object and its children, comma-separated. A
/// form sets our controls' properties by name (stdset="0"), so a misspelt one turns up here instead
/// of failing the build.
inline std::string DynamicProperties(const QObject& root)
{
    QStringList names;
    auto add = [&names](const QObject& object) {
        for (const QByteArray& name : object.dynamicPropertyNames()) {
            names << object.objectName() + u'.' + QString::fromLatin1(name);
        }
    };
    add(root);
    for (const QObject* child : root.findChildren<QObject*>()) {
        add(*child);
    }
    return names.join(QStringLiteral(", ")).toStdString();
}
