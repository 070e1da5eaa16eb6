#include "CommandLineOptions.h"

#include "mdlComFunction.h"

QStringList commandArguments(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

std::optional<QString> terminalAnswer(const QStringList& arguments) {
    // Only a lone option is one: "--help photo.jpg" is still a (strange) picture path, and so
    // is a file really named "--help" when given as "./--help".
    if (arguments.size() != 1)
        return std::nullopt;
    const QString& option = arguments.front();
    if (option == u"--help" || option == u"-h")
        return helpText();
    if (option == u"--version")
        return versionText();
    return std::nullopt;
}

QString versionText() {
    return QStringLiteral("ピクセリオン (pixelion) ") + gsGetVersion() + u'\n';
}

QString helpText() {
    return QStringLiteral("ピクセリオン (pixelion) ") + gsGetVersion() +
           QStringLiteral(
               "\n"
               "JPEG スライドショー ビューア / JPEG slideshow viewer\n"
               "\n"
               "使い方 / Usage: pixelion [画像ファイル | picture.jpg]\n"
               "  指定した画像のフォルダーにある JPEG を、その画像から順に表示します。\n"
               "  Shows the JPEG pictures of the picture's folder, starting with that picture.\n"
               "\n"
               "  -h, --help   この説明を表示して終了 / show this help and exit\n"
               "  --version    版数を表示して終了 / show the version and exit\n"
               "\n"
               "キー / Keys\n"
               "  F11、画像の上でダブルクリック   全画面表示 / full screen\n"
               "  全画面表示で / in full screen:\n"
               "    → ↓ PageDown Space    次へ / next\n"
               "    ← ↑ PageUp Backspace  前へ / previous\n"
               "    Enter P               開始・停止 / start or stop\n"
               "    F11 Esc ダブルクリック  戻る / leave full screen\n");
}
