#include "ui/about_form.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <cstring>

#include "artwork/artwork.h"
#include "net/http_request.h"
#include "ogg/codec_libraries.h"
#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/link.h"
#include "ui/skin_look.h"

namespace ktv {

namespace {

// The maker's and the codec projects' web sites.
constexpr const char* kMakerName = "Halcyra Interactive";
constexpr const char* kMakerWebSite = "http://www.halcyra.com";
constexpr const char* kOggWebSite = "https://xiph.org/ogg/";
constexpr const char* kVorbisWebSite = "https://xiph.org/vorbis/";
constexpr const char* kTheoraWebSite = "https://www.theora.org/";
constexpr const char* kOpusWebSite = "https://opus-codec.org/";

// The licences the codec libraries are published under; each binary we load asks for its notice to be
// shown with the program.
constexpr const char* kCodecLicence =
    "The Ogg, Vorbis and Theora libraries are published by the Xiph.Org Foundation under this licence:\n"
    "\n"
    "Copyright (c) 1994-2020 Xiph.Org Foundation\n"
    "\n"
    "Redistribution and use in source and binary forms, with or without modification, are permitted "
    "provided that the following conditions are met:\n"
    "\n"
    "- Redistributions of source code must retain the above copyright notice, this list of conditions and "
    "the following disclaimer.\n"
    "\n"
    "- Redistributions in binary form must reproduce the above copyright notice, this list of conditions and "
    "the following disclaimer in the documentation and/or other materials provided with the distribution.\n"
    "\n"
    "- Neither the name of the Xiph.org Foundation nor the names of its contributors may be used to endorse "
    "or promote products derived from this software without specific prior written permission.\n"
    "\n"
    "THIS SOFTWARE IS PROVIDED BY THE COPYRIGHT HOLDERS AND CONTRIBUTORS ``AS IS'' AND ANY EXPRESS OR "
    "IMPLIED "
    "WARRANTIES, INCLUDING, BUT NOT LIMITED TO, THE IMPLIED WARRANTIES OF MERCHANTABILITY AND FITNESS FOR A "
    "PARTICULAR PURPOSE ARE DISCLAIMED. IN NO EVENT SHALL THE FOUNDATION OR CONTRIBUTORS BE LIABLE FOR ANY "
    "DIRECT, INDIRECT, INCIDENTAL, SPECIAL, EXEMPLARY, OR CONSEQUENTIAL DAMAGES (INCLUDING, BUT NOT LIMITED "
    "TO, PROCUREMENT OF SUBSTITUTE GOODS OR SERVICES; LOSS OF USE, DATA, OR PROFITS; OR BUSINESS "
    "INTERRUPTION) HOWEVER CAUSED AND ON ANY THEORY OF LIABILITY, WHETHER IN CONTRACT, STRICT LIABILITY, OR "
    "TORT (INCLUDING NEGLIGENCE OR OTHERWISE) ARISING IN ANY WAY OUT OF THE USE OF THIS SOFTWARE, EVEN IF "
    "ADVISED OF THE POSSIBILITY OF SUCH DAMAGE.\n"
    "\n"
    "The Opus library, which decodes Opus audio, is published by its authors under a licence of the same "
    "kind:\n"
    "\n"
    "Copyright (c) 2001-2011 Xiph.Org, Skype Limited, Octasic, Jean-Marc Valin, Timothy B. Terriberry, "
    "CSIRO, "
    "Gregory Maxwell, Mark Borgerding, Erik de Castro Lopo\n"
    "\n"
    "Redistribution and use in source and binary forms, with or without modification, are permitted "
    "provided that the following conditions are met:\n"
    "\n"
    "- Redistributions of source code must retain the above copyright notice, this list of conditions and "
    "the following disclaimer.\n"
    "\n"
    "- Redistributions in binary form must reproduce the above copyright notice, this list of conditions and "
    "the following disclaimer in the documentation and/or other materials provided with the distribution.\n"
    "\n"
    "- Neither the name of Internet Society, IETF or IETF Trust, nor the names of specific contributors, may "
    "be used to endorse or promote products derived from this software without specific prior written "
    "permission.\n"
    "\n"
    "THIS SOFTWARE IS PROVIDED BY THE COPYRIGHT HOLDERS AND CONTRIBUTORS ``AS IS'' AND ANY EXPRESS OR "
    "IMPLIED WARRANTIES, INCLUDING, BUT NOT LIMITED TO, THE IMPLIED WARRANTIES OF MERCHANTABILITY AND "
    "FITNESS FOR A PARTICULAR PURPOSE ARE DISCLAIMED. IN NO EVENT SHALL THE COPYRIGHT OWNER OR CONTRIBUTORS "
    "BE LIABLE FOR ANY DIRECT, INDIRECT, INCIDENTAL, SPECIAL, EXEMPLARY, OR CONSEQUENTIAL DAMAGES "
    "(INCLUDING, BUT NOT LIMITED TO, PROCUREMENT OF SUBSTITUTE GOODS OR SERVICES; LOSS OF USE, DATA, OR "
    "PROFITS; OR BUSINESS INTERRUPTION) HOWEVER CAUSED AND ON ANY THEORY OF LIABILITY, WHETHER IN CONTRACT, "
    "STRICT LIABILITY, OR TORT (INCLUDING NEGLIGENCE OR OTHERWISE) ARISING IN ANY WAY OUT OF THE USE OF "
    "THIS SOFTWARE, EVEN IF ADVISED OF THE POSSIBILITY OF SUCH DAMAGE.\n";

// The page a link points at, shown without its scheme.
QString ShownAddress(const std::string& url) {
  QString shown = QString::fromStdString(url);
  for (const char* scheme : {"http://", "https://"})
    if (shown.startsWith(QLatin1String(scheme), Qt::CaseInsensitive))
      shown.remove(0, int(std::strlen(scheme)));
  while (shown.endsWith('/')) shown.chop(1);
  return shown;
}

QLabel* AddText(QWidget* parent, const QString& text, const QRect& place, Qt::Alignment alignment) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(place);
  label->setAlignment(alignment | Qt::AlignVCenter);
  return label;
}

TLink* AddLink(QWidget* parent, const std::string& url, const QRect& place, Qt::Alignment alignment,
               const QString& caption = QString()) {
  auto* link =
      new TLink(parent, caption.isEmpty() ? ShownAddress(url) : caption, QString::fromStdString(url));
  link->setGeometry(place);
  link->setAlignment(alignment | Qt::AlignVCenter);
  return link;
}

// The Theora library's version, loading the Ogg and then the Theora library for the question only.
QString TheoraVersion() {
  tOggLibraryUse ogg;
  if (!ogg.Loaded()) return QString::fromLatin1(kNoCodecLibrariesText);
  tTheoraLibraryUse theora;
  if (!theora.Loaded()) return QString::fromLatin1(kNoCodecLibrariesText);
  const char* version = TheoraApi.theora_version_string();
  return version ? QString::fromLatin1(version) : QString();
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* owner, const tPlayerSettings& settings)
    : tSkinnedForm(owner, tBorderStyle::bsSingle, biSystemMenu | biMinimize) {
  setWindowTitle(QStringLiteral("About Kestrova.TV Player"));
  SetClientSize(276, 435);
  QWidget* client = Client();
  constexpr int kWidth = 268, kInside = kWidth - 12;

  imgPicture = new QLabel(client);
  imgPicture->setGeometry(4, 4, 267, 112);
  imgPicture->setPixmap(QPixmap(ArtworkPath(QStringLiteral("ABOUT_PICTURE"))));

  pnlProduct = new TKestrovaPanel(client);
  pnlProduct->setGeometry(4, 120, kWidth, 94);
  lblVersion =
      AddText(pnlProduct, QStringLiteral("Kestrova.TV Player"), QRect(6, 5, kInside, 16), Qt::AlignHCenter);
  lblVersion->setFont(DesignFont("Tahoma", 8, true));
  lblVersion->setText(lblVersion->text() + " V" + QString::fromStdString(GetProgramVersion()));
  lnkWebSite = AddLink(pnlProduct, settings.WebSite, QRect(6, 22, kInside, 16), Qt::AlignHCenter);
  lnkMaker = AddLink(pnlProduct, kMakerWebSite, QRect(6, 38, kInside, 16), Qt::AlignHCenter,
                     QString::fromLatin1(kMakerName));
  AddText(pnlProduct, QStringLiteral("To get your stream listed in the directory, visit "),
          QRect(6, 56, kInside, 16), Qt::AlignHCenter);
  lnkDirectory = AddLink(pnlProduct, settings.DirectoryServer, QRect(6, 72, kInside, 16), Qt::AlignHCenter);

  pnlCodecs = new TKestrovaPanel(client);
  pnlCodecs->setGeometry(4, 218, kWidth, 96);
  const struct {
    const char* Caption;
    const char* Url;
    TLink** Link;
  } codecs[] = {{"Ogg Container Format:", kOggWebSite, &lnkOgg},
                {"Vorbis (Audio) Codec:", kVorbisWebSite, &lnkVorbis},
                {"Opus (Audio) Codec:", kOpusWebSite, &lnkOpus},
                {"Theora (Video) Codec:", kTheoraWebSite, &lnkTheora}};
  int y = 5;
  for (const auto& codec : codecs) {
    AddText(pnlCodecs, QString::fromLatin1(codec.Caption), QRect(6, y, 122, 16), Qt::AlignRight);
    *codec.Link = AddLink(pnlCodecs, codec.Url, QRect(132, y, kInside - 126, 16), Qt::AlignLeft);
    y += 16;
  }
  theVer = AddText(pnlCodecs, TheoraVersion(), QRect(6, 74, kInside, 16), Qt::AlignHCenter);

  memLicence = new QPlainTextEdit(QString::fromLatin1(kCodecLicence), client);
  memLicence->setGeometry(4, 318, kWidth, 84);
  memLicence->setReadOnly(true);
  memLicence->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memLicence->setFont(DesignFont("Tahoma", 8));

  btnOK = new TKestrovaButton(client, QStringLiteral("&OK"));
  btnOK->setGeometry(94, 406, 88, 25);
  btnOK->SetModalResult(mrOk);
  btnOK->SetDefault(true);
  btnOK->setFocus();
}

}  // namespace ktv
