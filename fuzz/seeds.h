#ifndef SEEDS_H
#define SEEDS_H

#include <QByteArray>
#include <QList>
#include <QStringList>

// The targets, by the names their executables, corpora and regression folders carry.
QStringList fuzzTargets();

// Well-formed starting inputs for a target, made by the stream encoder: every fault kind the
// deframer knows, signalling traffic, each writer, cut in several ways; typical command lines.
QList<QByteArray> fuzzSeeds(const QString& target);

#endif
