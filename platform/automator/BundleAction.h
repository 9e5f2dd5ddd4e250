// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An action loaded from its bundle folder ("Name.action"): identity and parameters from
// Contents/Info.plist. A plain value: a workflow keeps its own copy of each action it is given.
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <memory>

class BundleAction {
 public:
  // Nothing, and a message in *error, when the URL is not a local folder holding an
  // Info.plist with a bundle identifier.
  static std::unique_ptr<BundleAction> initWithContentsOfURL(const QUrl& fileUrl,
                                                             QString* error = nullptr);

  QString bundlePath() const { return bundlePath_; }  // host path of the bundle folder
  QString bundleIdentifier() const { return identifier_; }
  QString name() const { return name_; }
  QStringList inputTypes() const { return inputTypes_; }
  QStringList outputTypes() const { return outputTypes_; }

  // The action's parameters: its defaults as loaded, until set.
  QVariantMap parameters() const { return parameters_; }
  void setParameters(const QVariantMap& parameters) { parameters_ = parameters; }

 private:
  friend class Workflow;  // rebuilds actions from workflow documents
  BundleAction() = default;

  QString bundlePath_;
  QString identifier_;
  QString name_;
  QStringList inputTypes_;
  QStringList outputTypes_;
  QVariantMap parameters_;
};
