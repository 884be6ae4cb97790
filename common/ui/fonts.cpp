#include "common/ui/fonts.h"

#include <QStringList>

namespace kov::ui {

QString screenFontFamily() { return QStringLiteral("ＭＳ ゴシック"); }

void installJapaneseFonts()
{
    // Monospaced Japanese Gothic first; the others only if it is missing.
    const QStringList gothic = {QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"),
                                QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("TakaoGothic"),
                                QStringLiteral("VL Gothic")};
    const QStringList proportional = {QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
                                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")};
    for (const QString& name : {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic")})
        QFont::insertSubstitutions(name, gothic);
    for (const QString& name : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                QStringLiteral("ＭＳ ＵＩ ゴシック"), QStringLiteral("MS UI Gothic")})
        QFont::insertSubstitutions(name, proportional);
}

QFont screenFont()
{
    QFont f(screenFontFamily(), 9);
    f.setWeight(QFont::Normal);
    return f;
}

} // namespace kov::ui
