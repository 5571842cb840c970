#include "engine/Timbres.h"

#include <cstring>

namespace brivola
{

namespace
{

// The 128 timbre records, family by family, colours "#A9D1FD" to "#AFB5BE" within a family.
constexpr std::array<Timbre, timbreRecordCount> records { {
    Timbre { .motif = "normal", .colour = "#A9D1FD", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 10.73, .waveform = "triangle", .count = 1, .spread = 4 },
    Timbre { .motif = "normal", .colour = "#B8A1FB", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 1.17, .waveform = "square13", .count = 3, .spread = 22 },
    Timbre { .motif = "normal", .colour = "#FCD9EC", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 5.31, .waveform = "triangle9", .count = 3, .spread = 22 },
    Timbre { .motif = "normal", .colour = "#FDB8C0", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 5.37, .waveform = "sawtooth10", .count = 2, .spread = 10 },
    Timbre { .motif = "normal", .colour = "#FCDA6F", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 4.57, .waveform = "sawtooth", .count = 3, .spread = 26 },
    Timbre { .motif = "normal", .colour = "#FDC58E", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 2.14, .waveform = "sawtooth5", .count = 4, .spread = 14 },
    Timbre { .motif = "normal", .colour = "#A1F2BF", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 2.74, .waveform = "square6", .count = 2, .spread = 10 },
    Timbre { .motif = "normal", .colour = "#AFB5BE", .type = TimbreType::unison, .vibratoDepth = 0, .vibratoRate = 12, .level = 1.01, .waveform = "square", .count = 3, .spread = 32 },
    Timbre { .motif = "spade", .colour = "#A9D1FD", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = -1.54, .harmonicCount = 9, .harmonics = { 1, 0, 0.6, 0, 0.4, 0, 0.28, 0, 0.2 } },
    Timbre { .motif = "spade", .colour = "#B8A1FB", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = -1.28, .harmonicCount = 11, .harmonics = { 1, 0, 0.7, 0, 0.5, 0, 0.4, 0, 0.32, 0, 0.26 } },
    Timbre { .motif = "spade", .colour = "#FCD9EC", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = 0.44, .harmonicCount = 7, .harmonics = { 1, 0.3, 0.5, 0.15, 0.35, 0.1, 0.2 } },
    Timbre { .motif = "spade", .colour = "#FDB8C0", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = -0.49, .harmonicCount = 8, .harmonics = { 1, 0.18, 0.78, 0.12, 0.62, 0.08, 0.48, 0.06 } },
    Timbre { .motif = "spade", .colour = "#FCDA6F", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = 1.25, .harmonicCount = 9, .harmonics = { 1, 0.6, 0.7, 0.5, 0.6, 0.4, 0.5, 0.32, 0.4 } },
    Timbre { .motif = "spade", .colour = "#FDC58E", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = -0.16, .harmonicCount = 8, .harmonics = { 1, 0.95, 0.18, 0.7, 0.1, 0.46, 0.06, 0.26 } },
    Timbre { .motif = "spade", .colour = "#A1F2BF", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = -1.41, .harmonicCount = 9, .harmonics = { 1, 0.1, 0.62, 0.06, 0.1, 0.04, 0.26, 0, 0.06 } },
    Timbre { .motif = "spade", .colour = "#AFB5BE", .type = TimbreType::additive, .vibratoDepth = 0.06, .vibratoRate = 9, .level = 1.82, .harmonicCount = 10, .harmonics = { 1, 0, 0, 0.5, 0, 0, 0.3, 0, 0, 0.2 } },
    Timbre { .motif = "clover", .colour = "#A9D1FD", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 13.62, .dampingCutoff = 4055.3078165, .feedback = 0.9637, .burstLength = 1.36 },
    Timbre { .motif = "clover", .colour = "#B8A1FB", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 14.36, .dampingCutoff = 5573.7391229, .feedback = 0.925, .burstLength = 2.04 },
    Timbre { .motif = "clover", .colour = "#FCD9EC", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 16.04, .dampingCutoff = 1664.4852390, .feedback = 0.97, .burstLength = 1.02 },
    Timbre { .motif = "clover", .colour = "#FDB8C0", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 16.98, .dampingCutoff = 2239.7243604, .feedback = 0.9313, .burstLength = 1.7 },
    Timbre { .motif = "clover", .colour = "#FCDA6F", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 10.69, .dampingCutoff = 7500, .feedback = 0.94435, .burstLength = 2.55 },
    Timbre { .motif = "clover", .colour = "#FDC58E", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 14.16, .dampingCutoff = 1211.0362274, .feedback = 0.95695, .burstLength = 2.21 },
    Timbre { .motif = "clover", .colour = "#A1F2BF", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 16.41, .dampingCutoff = 3013.7637110, .feedback = 0.95065, .burstLength = 1.19 },
    Timbre { .motif = "clover", .colour = "#AFB5BE", .type = TimbreType::pluck, .vibratoDepth = 0.09, .vibratoRate = 6.5, .level = 19.41, .dampingCutoff = 900, .feedback = 0.93805, .burstLength = 1.7 },
    Timbre { .motif = "heart", .colour = "#A9D1FD", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 6.24, .waveform = "triangle", .count = 2, .spread = 6.4 },
    Timbre { .motif = "heart", .colour = "#B8A1FB", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 0.94, .waveform = "square13", .count = 4, .spread = 35.2 },
    Timbre { .motif = "heart", .colour = "#FCD9EC", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 5.36, .waveform = "triangle9", .count = 4, .spread = 35.2 },
    Timbre { .motif = "heart", .colour = "#FDB8C0", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 4.07, .waveform = "sawtooth10", .count = 3, .spread = 16 },
    Timbre { .motif = "heart", .colour = "#FCDA6F", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 4.78, .waveform = "sawtooth", .count = 4, .spread = 41.6 },
    Timbre { .motif = "heart", .colour = "#FDC58E", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 3.54, .waveform = "sawtooth5", .count = 4, .spread = 22.4 },
    Timbre { .motif = "heart", .colour = "#A1F2BF", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 1.14, .waveform = "square6", .count = 3, .spread = 16 },
    Timbre { .motif = "heart", .colour = "#AFB5BE", .type = TimbreType::unison, .vibratoDepth = 0.15, .vibratoRate = 2, .level = 1.13, .waveform = "square", .count = 4, .spread = 44 },
    Timbre { .motif = "diamond", .colour = "#A9D1FD", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = -2.98, .carrier = "sine", .modulator = "sine", .modulatorRatio = 2, .modulationIndex = 4.5 },
    Timbre { .motif = "diamond", .colour = "#B8A1FB", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = -6.96, .carrier = "sine", .modulator = "square4", .modulatorRatio = 4, .modulationIndex = 13.5 },
    Timbre { .motif = "diamond", .colour = "#FCD9EC", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = 0.39, .carrier = "triangle6", .modulator = "sine", .modulatorRatio = 1, .modulationIndex = 1.8 },
    Timbre { .motif = "diamond", .colour = "#FDB8C0", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = -4.92, .carrier = "triangle2", .modulator = "sawtooth6", .modulatorRatio = 3, .modulationIndex = 8.1 },
    Timbre { .motif = "diamond", .colour = "#FCDA6F", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = -1.45, .carrier = "sawtooth3", .modulator = "sine", .modulatorRatio = 2, .modulationIndex = 4.5 },
    Timbre { .motif = "diamond", .colour = "#FDC58E", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = 0.72, .carrier = "sawtooth6", .modulator = "sawtooth15", .modulatorRatio = 1.22, .modulationIndex = 1.9215 },
    Timbre { .motif = "diamond", .colour = "#A1F2BF", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = -3.54, .carrier = "square3", .modulator = "sine", .modulatorRatio = 2, .modulationIndex = 4.5 },
    Timbre { .motif = "diamond", .colour = "#AFB5BE", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.03, .vibratoRate = 11, .level = -6.56, .carrier = "square1", .modulator = "triangle4", .modulatorRatio = 4.386724, .modulationIndex = 14.805195 },
    Timbre { .motif = "crown", .colour = "#A9D1FD", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = -2.3, .carrier = "sine", .modulator = "sine", .modulatorRatio = 3, .modulationIndex = 3 },
    Timbre { .motif = "crown", .colour = "#B8A1FB", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = -6.08, .carrier = "sine", .modulator = "square3", .modulatorRatio = 6, .modulationIndex = 9 },
    Timbre { .motif = "crown", .colour = "#FCD9EC", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = 1.84, .carrier = "triangle8", .modulator = "sine", .modulatorRatio = 1.5, .modulationIndex = 1.2 },
    Timbre { .motif = "crown", .colour = "#FDB8C0", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = -2.37, .carrier = "triangle2", .modulator = "sawtooth4", .modulatorRatio = 4.5, .modulationIndex = 5.4 },
    Timbre { .motif = "crown", .colour = "#FCDA6F", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = -0.69, .carrier = "sawtooth4", .modulator = "sine", .modulatorRatio = 3, .modulationIndex = 3 },
    Timbre { .motif = "crown", .colour = "#FDC58E", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = 0.94, .carrier = "sawtooth8", .modulator = "sawtooth10", .modulatorRatio = 1.83, .modulationIndex = 1.281 },
    Timbre { .motif = "crown", .colour = "#A1F2BF", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = -3.52, .carrier = "square4", .modulator = "sine", .modulatorRatio = 3, .modulationIndex = 3 },
    Timbre { .motif = "crown", .colour = "#AFB5BE", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.02, .vibratoRate = 5, .level = -6, .carrier = "square1", .modulator = "triangle2", .modulatorRatio = 7.23, .modulationIndex = 10.845 },
    Timbre { .motif = "gear", .colour = "#A9D1FD", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -2.45, .pulseWidth = 0.5 },
    Timbre { .motif = "gear", .colour = "#B8A1FB", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -1.05, .pulseWidth = 0.07056 },
    Timbre { .motif = "gear", .colour = "#FCD9EC", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -1.71, .pulseWidth = 0.0952 },
    Timbre { .motif = "gear", .colour = "#FDB8C0", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -2.13, .pulseWidth = 0.12768 },
    Timbre { .motif = "gear", .colour = "#FCDA6F", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -2.42, .pulseWidth = 0.17136 },
    Timbre { .motif = "gear", .colour = "#FDC58E", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -2.49, .pulseWidth = 0.23072 },
    Timbre { .motif = "gear", .colour = "#A1F2BF", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -3, .pulseWidth = 0.41664 },
    Timbre { .motif = "gear", .colour = "#AFB5BE", .type = TimbreType::pulse, .vibratoDepth = 0.08, .vibratoRate = 15, .level = -2.7, .pulseWidth = 0.31024 },
    Timbre { .motif = "star", .colour = "#A9D1FD", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = -1.52, .harmonicCount = 9, .harmonics = { 1, 0, 1, 0, 1, 0, 0.899947, 0, 0.747439 } },
    Timbre { .motif = "star", .colour = "#B8A1FB", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = -1.08, .harmonicCount = 11, .harmonics = { 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1 } },
    Timbre { .motif = "star", .colour = "#FCD9EC", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = 0.15, .harmonicCount = 7, .harmonics = { 1, 0.454715, 0.966591, 0.34461, 0.919285, 0.293016, 0.642819 } },
    Timbre { .motif = "star", .colour = "#FDB8C0", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = -0.3, .harmonicCount = 8, .harmonics = { 1, 0.272829, 1, 0.275688, 1, 0.234412, 1, 0.208932 } },
    Timbre { .motif = "star", .colour = "#FCDA6F", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = 1.18, .harmonicCount = 9, .harmonics = { 1, 0.90943, 1, 1, 1, 1, 1, 1, 1 } },
    Timbre { .motif = "star", .colour = "#FDC58E", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = -0.08, .harmonicCount = 8, .harmonics = { 1, 1, 0.347973, 1, 0.262653, 1, 0.192846, 0.905373 } },
    Timbre { .motif = "star", .colour = "#A1F2BF", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = -1.25, .harmonicCount = 9, .harmonics = { 1, 0.151572, 1, 0.137844, 0.262653, 0.117206, 0.835665, 0, 0.224232 } },
    Timbre { .motif = "star", .colour = "#AFB5BE", .type = TimbreType::additive, .vibratoDepth = 0.1, .vibratoRate = 7, .level = 0.01, .harmonicCount = 10, .harmonics = { 1, 0, 0, 1, 0, 0, 0.964229, 0, 0, 0.796214 } },
    Timbre { .motif = "bolt", .colour = "#A9D1FD", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = -0.37, .harmonicCount = 9, .harmonics = { 1, 0.170755, 0.327895, 0.069977, 0.165054, 0.037326, 0.096018, 0.022305, 0.059731 } },
    Timbre { .motif = "bolt", .colour = "#B8A1FB", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = -0.42, .harmonicCount = 11, .harmonics = { 1, 0.170755, 0.382544, 0.08164, 0.206318, 0.046658, 0.137169, 0.031864, 0.095569, 0.022547, 0.069536 } },
    Timbre { .motif = "bolt", .colour = "#FCD9EC", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = 0.69, .harmonicCount = 7, .harmonics = { 1, 0.375661, 0.273246, 0.128292, 0.144422, 0.069987, 0.068585 } },
    Timbre { .motif = "bolt", .colour = "#FDB8C0", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = 0.55, .harmonicCount = 8, .harmonics = { 1, 0.293699, 0.426263, 0.146953, 0.255834, 0.087717, 0.164603, 0.057355 } },
    Timbre { .motif = "bolt", .colour = "#FCDA6F", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = 1.02, .harmonicCount = 9, .harmonics = { 1, 0.580567, 0.382544, 0.314899, 0.247581, 0.205296, 0.171461, 0.141795, 0.119461 } },
    Timbre { .motif = "bolt", .colour = "#FDC58E", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = -0.38, .harmonicCount = 8, .harmonics = { 1, 0.819624, 0.098368, 0.347555, 0.041264, 0.181033, 0.020575, 0.087626 } },
    Timbre { .motif = "bolt", .colour = "#A1F2BF", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = -0.04, .harmonicCount = 9, .harmonics = { 1, 0.239057, 0.338825, 0.100301, 0.041264, 0.024262, 0.08916, 0.020712, 0.017919 } },
    Timbre { .motif = "bolt", .colour = "#AFB5BE", .type = TimbreType::additive, .vibratoDepth = 0.2, .vibratoRate = 20, .level = 1.51, .harmonicCount = 10, .harmonics = { 1, 0.170755, 0, 0.233258, 0, 0, 0.102877, 0.023898, 0, 0.056368 } },
    Timbre { .motif = "puzzle", .colour = "#A9D1FD", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -2.69, .pulseWidth = 0.445 },
    Timbre { .motif = "puzzle", .colour = "#B8A1FB", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -0.77, .pulseWidth = 0.05607 },
    Timbre { .motif = "puzzle", .colour = "#FCD9EC", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -1.28, .pulseWidth = 0.07565 },
    Timbre { .motif = "puzzle", .colour = "#FDB8C0", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -2.3, .pulseWidth = 0.10146 },
    Timbre { .motif = "puzzle", .colour = "#FCDA6F", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -2.39, .pulseWidth = 0.13617 },
    Timbre { .motif = "puzzle", .colour = "#FDC58E", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -2.42, .pulseWidth = 0.18334 },
    Timbre { .motif = "puzzle", .colour = "#A1F2BF", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -2.52, .pulseWidth = 0.33108 },
    Timbre { .motif = "puzzle", .colour = "#AFB5BE", .type = TimbreType::pulse, .vibratoDepth = 0.04, .vibratoRate = 13, .level = -2.63, .pulseWidth = 0.24653 },
    Timbre { .motif = "bell", .colour = "#A9D1FD", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = -4.91, .carrier = "sine", .modulator = "sine", .modulatorRatio = 3, .modulationIndex = 5.4 },
    Timbre { .motif = "bell", .colour = "#B8A1FB", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = -7.04, .carrier = "sine", .modulator = "square3", .modulatorRatio = 5.187005, .modulationIndex = 14.004914 },
    Timbre { .motif = "bell", .colour = "#FCD9EC", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = -0.2, .carrier = "triangle6", .modulator = "sine", .modulatorRatio = 1.5, .modulationIndex = 2.16 },
    Timbre { .motif = "bell", .colour = "#FDB8C0", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = -5.06, .carrier = "triangle1", .modulator = "sawtooth4", .modulatorRatio = 4.5, .modulationIndex = 9.72 },
    Timbre { .motif = "bell", .colour = "#FCDA6F", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = -3.98, .carrier = "sawtooth2", .modulator = "sine", .modulatorRatio = 3, .modulationIndex = 5.4 },
    Timbre { .motif = "bell", .colour = "#FDC58E", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = 0.44, .carrier = "sawtooth5", .modulator = "sawtooth10", .modulatorRatio = 1.83, .modulationIndex = 2.3058 },
    Timbre { .motif = "bell", .colour = "#A1F2BF", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = -4.91, .carrier = "square2", .modulator = "sine", .modulatorRatio = 3, .modulationIndex = 5.4 },
    Timbre { .motif = "bell", .colour = "#AFB5BE", .type = TimbreType::frequencyModulation, .vibratoDepth = 0.05, .vibratoRate = 6, .level = -6.87, .carrier = "square1", .modulator = "triangle3", .modulatorRatio = 5.187005, .modulationIndex = 14.004914 },
    Timbre { .motif = "leaf", .colour = "#A9D1FD", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 4.77, .dampingCutoff = 4055.3078165, .feedback = 0.995, .burstLength = 0.68 },
    Timbre { .motif = "leaf", .colour = "#B8A1FB", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 5.95, .dampingCutoff = 5573.7391229, .feedback = 0.99175, .burstLength = 1.02 },
    Timbre { .motif = "leaf", .colour = "#FCD9EC", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 6.22, .dampingCutoff = 1664.4852390, .feedback = 0.995, .burstLength = 0.51 },
    Timbre { .motif = "leaf", .colour = "#FDB8C0", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 8.13, .dampingCutoff = 2239.7243604, .feedback = 0.992485, .burstLength = 0.85 },
    Timbre { .motif = "leaf", .colour = "#FCDA6F", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 3.37, .dampingCutoff = 7500, .feedback = 0.994008, .burstLength = 1.275 },
    Timbre { .motif = "leaf", .colour = "#FDC58E", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 6.82, .dampingCutoff = 1211.0362274, .feedback = 0.995, .burstLength = 1.105 },
    Timbre { .motif = "leaf", .colour = "#A1F2BF", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 6.72, .dampingCutoff = 3013.7637110, .feedback = 0.994742, .burstLength = 0.595 },
    Timbre { .motif = "leaf", .colour = "#AFB5BE", .type = TimbreType::pluck, .vibratoDepth = 0.045, .vibratoRate = 2.2, .level = 11.07, .dampingCutoff = 900, .feedback = 0.993273, .burstLength = 0.85 },
    Timbre { .motif = "flower", .colour = "#A9D1FD", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 15.1, .dampingCutoff = 4055.3078165, .feedback = 0.976255, .burstLength = 0.496 },
    Timbre { .motif = "flower", .colour = "#B8A1FB", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 14.45, .dampingCutoff = 5573.7391229, .feedback = 0.964, .burstLength = 0.744 },
    Timbre { .motif = "flower", .colour = "#FCD9EC", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 17.91, .dampingCutoff = 1664.4852390, .feedback = 0.97825, .burstLength = 0.372 },
    Timbre { .motif = "flower", .colour = "#FDB8C0", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 16.92, .dampingCutoff = 2239.7243604, .feedback = 0.965995, .burstLength = 0.62 },
    Timbre { .motif = "flower", .colour = "#FCDA6F", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 12.83, .dampingCutoff = 7500, .feedback = 0.970128, .burstLength = 0.93 },
    Timbre { .motif = "flower", .colour = "#FDC58E", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 16.74, .dampingCutoff = 1211.0362274, .feedback = 0.974117, .burstLength = 0.806 },
    Timbre { .motif = "flower", .colour = "#A1F2BF", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 16, .dampingCutoff = 3013.7637110, .feedback = 0.972123, .burstLength = 0.434 },
    Timbre { .motif = "flower", .colour = "#AFB5BE", .type = TimbreType::pluck, .vibratoDepth = 0.13, .vibratoRate = 4.5, .level = 19.04, .dampingCutoff = 900, .feedback = 0.968132, .burstLength = 0.62 },
    Timbre { .motif = "controller", .colour = "#A9D1FD", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -2.45, .pulseWidth = 0.5 },
    Timbre { .motif = "controller", .colour = "#B8A1FB", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -0.76, .pulseWidth = 0.063 },
    Timbre { .motif = "controller", .colour = "#FCD9EC", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -1.56, .pulseWidth = 0.085 },
    Timbre { .motif = "controller", .colour = "#FDB8C0", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -1.99, .pulseWidth = 0.114 },
    Timbre { .motif = "controller", .colour = "#FCDA6F", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -2.59, .pulseWidth = 0.153 },
    Timbre { .motif = "controller", .colour = "#FDC58E", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -2.62, .pulseWidth = 0.206 },
    Timbre { .motif = "controller", .colour = "#A1F2BF", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -2.72, .pulseWidth = 0.372 },
    Timbre { .motif = "controller", .colour = "#AFB5BE", .type = TimbreType::pulse, .vibratoDepth = 0.02, .vibratoRate = 17, .level = -2.96, .pulseWidth = 0.277 },
    Timbre { .motif = "ribbon", .colour = "#A9D1FD", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 8.63, .dampingCutoff = 4055.3078165, .feedback = 0.988885, .burstLength = 0.8 },
    Timbre { .motif = "ribbon", .colour = "#B8A1FB", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 9.88, .dampingCutoff = 5573.7391229, .feedback = 0.9805, .burstLength = 1.2 },
    Timbre { .motif = "ribbon", .colour = "#FCD9EC", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 10.94, .dampingCutoff = 1664.4852390, .feedback = 0.99025, .burstLength = 0.6 },
    Timbre { .motif = "ribbon", .colour = "#FDB8C0", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 12.59, .dampingCutoff = 2239.7243604, .feedback = 0.981865, .burstLength = 1 },
    Timbre { .motif = "ribbon", .colour = "#FCDA6F", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 6.47, .dampingCutoff = 7500, .feedback = 0.984692, .burstLength = 1.5 },
    Timbre { .motif = "ribbon", .colour = "#FDC58E", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 11.53, .dampingCutoff = 1211.0362274, .feedback = 0.987422, .burstLength = 1.3 },
    Timbre { .motif = "ribbon", .colour = "#A1F2BF", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 11.55, .dampingCutoff = 3013.7637110, .feedback = 0.986058, .burstLength = 0.7 },
    Timbre { .motif = "ribbon", .colour = "#AFB5BE", .type = TimbreType::pluck, .vibratoDepth = 0.02, .vibratoRate = 3, .level = 14.8, .dampingCutoff = 900, .feedback = 0.983328, .burstLength = 1 },
    Timbre { .motif = "moon", .colour = "#A9D1FD", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 11.44, .waveform = "triangle8", .count = 1, .spread = 1.6 },
    Timbre { .motif = "moon", .colour = "#B8A1FB", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 1.03, .waveform = "square8", .count = 3, .spread = 8.8 },
    Timbre { .motif = "moon", .colour = "#FCD9EC", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 4.49, .waveform = "triangle5", .count = 3, .spread = 8.8 },
    Timbre { .motif = "moon", .colour = "#FDB8C0", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 5.25, .waveform = "sawtooth6", .count = 2, .spread = 4 },
    Timbre { .motif = "moon", .colour = "#FCDA6F", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 4.35, .waveform = "sawtooth8", .count = 3, .spread = 10.4 },
    Timbre { .motif = "moon", .colour = "#FDC58E", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 1.43, .waveform = "sawtooth3", .count = 4, .spread = 5.6 },
    Timbre { .motif = "moon", .colour = "#A1F2BF", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 3.36, .waveform = "square4", .count = 2, .spread = 4 },
    Timbre { .motif = "moon", .colour = "#AFB5BE", .type = TimbreType::unison, .vibratoDepth = 0.03, .vibratoRate = 3, .level = 1.66, .waveform = "square8", .count = 3, .spread = 12.8 },
} };

constexpr std::array<const char*, timbreRows> rowNames { "normal", "spade", "clover", "heart", "diamond", "crown", "gear",
                                                         "star", "bolt", "puzzle", "bell", "leaf", "flower", "controller",
                                                         "ribbon", "moon" };

constexpr std::array<const char*, timbreColumns> columnNames { "#A9D1FD", "#B8A1FB", "#FCD9EC", "#FDB8C0",
                                                               "#FCDA6F", "#FDC58E", "#A1F2BF", "#AFB5BE" };

constexpr double colourFactors[timbreColumns] = { 1.35, 1.15, 1.65, 0.85, 0.7, 1, 0.55, 0.4 };

// By motif 0..14; the "normal" row (no motif) uses 1.
constexpr double motifFactors[15] = { 0.9, 1, 1.5, 0.8, 1.6, 0.35, 0.5, 1.4, 1, 0.45, 1, 1, 0.6, 1, 0.7 };

constexpr double foldScaleTable[16][8] = {
    { 1.5023, 1.175, 1.8942, 1.4433, 1.7041, 1.5454, 1.0666, 1.2016 }, // "normal"
    { 0.8375, 0.863, 1.052, 0.9451, 1.1548, 0.9817, 0.8502, 1.2331 }, // "spade"
    { 3.802, 5.8337, 3.8079, 5.0471, 8.296, 5.8589, 5.1723, 7.165 }, // "clover"
    { 1.5777, 1.342, 2.2382, 1.6398, 1.9571, 1.8131, 1.1723, 1.3508 }, // "heart"
    { 0.7096, 0.4487, 1.0459, 0.5675, 0.8463, 1.0864, 0.6653, 0.4699 }, // "diamond"
    { 0.7674, 0.4966, 1.2359, 0.7612, 0.9236, 1.1143, 0.6668, 0.5012 }, // "crown"
    { 0.7508, 1.6475, 1.4105, 1.3899, 1.1747, 1.1941, 0.8388, 1.0265 }, // "gear"
    { 0.8395, 0.8831, 1.0174, 0.9661, 1.1455, 0.9908, 0.866, 1.0012 }, // "star"
    { 0.9583, 0.9528, 1.0827, 1.0654, 1.1246, 0.9572, 0.9954, 1.1899 }, // "bolt"
    { 0.8642, 1.7368, 1.4803, 1.3387, 1.234, 1.2657, 0.9593, 1.0738 }, // "puzzle"
    { 0.5682, 0.4446, 0.9772, 0.5585, 0.6324, 1.052, 0.5682, 0.4534 }, // "bell"
    { 0.842, 1.608, 0.9214, 1.4406, 2.5451, 1.3105, 1.2312, 1.4002 }, // "leaf"
    { 2.7864, 3.2445, 3.6958, 3.7296, 7.5063, 3.1316, 2.9507, 4.8201 }, // "flower"
    { 0.7508, 1.6522, 1.4155, 1.4179, 1.244, 1.1135, 0.8995, 1.0216 }, // "controller"
    { 1.5557, 2.7591, 1.8866, 2.4553, 5.8392, 3.9197, 2.4054, 2.4302 }, // "ribbon"
    { 1.6482, 1.1574, 1.7242, 1.4233, 1.6961, 1.4242, 1.1457, 1.2438 }, // "moon"
};
constexpr double foldRangeTable[16][8] = {
    { 1.08, 3.83, 4.31, 4.69, 6.35, 4.86, -0.04, 4.68 }, // "normal"
    { -2.78, 2.07, 0.64, 4.43, 6.17, 1.63, 1.83, 2.33 }, // "spade"
    { 17.35, 17.9, 16.9, 17.25, 18.02, 17.64, 17.47, 16.45 }, // "clover"
    { 4.24, 0.5, 4.59, 5.68, 7.37, 5.75, 2.5, -1.55 }, // "heart"
    { -0.03, -1.19, 2.54, -1.43, 2.39, 1.49, -0.86, -1.33 }, // "diamond"
    { -1.46, -1.26, -0.09, -1.44, 0.27, 1.93, -1.98, -1.34 }, // "crown"
    { -1.95, 3.62, 3.88, 5.48, 5.88, 7.41, -1.96, 0.11 }, // "gear"
    { 4.27, 4.42, 4.62, 4.36, 4.29, 5.03, 2.5, 4.62 }, // "star"
    { -0.16, -0.71, 0.98, -0.33, 2.23, 0.72, -1.81, 1.71 }, // "bolt"
    { 0.47, 3, 2.98, 4.15, 5, 6.68, -4.21, 4.55 }, // "puzzle"
    { -1.69, -1.34, 0.4, -1.44, -1.93, 0.99, -1.69, -1.33 }, // "bell"
    { 12.98, 16.44, 12.09, 16.53, 17.88, 14.8, 14.27, 12.47 }, // "leaf"
    { 15.47, 16.99, 16.26, 16.15, 18.05, 16.29, 16.01, 17.57 }, // "flower"
    { -1.95, 2.83, 3.32, 5.01, 5.63, 6.49, -5.9, 1.54 }, // "controller"
    { 16.11, 17.38, 15.28, 16.46, 18.04, 17.18, 16.49, 15.39 }, // "ribbon"
    { 0.21, 2.86, 3.73, 6.14, 5.7, 8.17, 2.01, 2.37 }, // "moon"
};

struct TimbreGrid
{
    const Timbre* cells[timbreRows][timbreColumns] {};

    TimbreGrid() noexcept
    {
        for (int r = 0; r < timbreRows; ++r)
            for (int c = 0; c < timbreColumns; ++c)
            {
                cells[r][c] = &records[0];
                for (const auto& t : records)
                    if (std::strcmp (t.motif, rowNames[static_cast<std::size_t> (r)]) == 0
                        && std::strcmp (t.colour, columnNames[static_cast<std::size_t> (c)]) == 0)
                    {
                        cells[r][c] = &t;
                        break;
                    }
            }
    }
};

const TimbreGrid& grid() noexcept
{
    static const TimbreGrid g;
    return g;
}

int clampRow (int row) noexcept { return row < 0 ? 0 : (row >= timbreRows ? timbreRows - 1 : row); }
int clampColumn (int column) noexcept { return column < 0 ? 0 : (column >= timbreColumns ? timbreColumns - 1 : column); }

} // namespace

const std::array<Timbre, timbreRecordCount>& timbreTable() noexcept { return records; }
const std::array<const char*, timbreRows>& timbreRowNames() noexcept { return rowNames; }
const std::array<const char*, timbreColumns>& timbreColumnNames() noexcept { return columnNames; }

const Timbre& timbreAt (int row, int column) noexcept { return *grid().cells[clampRow (row)][clampColumn (column)]; }

void prepareTimbreGrid() noexcept { (void) grid(); }

std::size_t timbreIndexOf (const Timbre& timbre) noexcept { return static_cast<std::size_t> (&timbre - records.data()); }

double colourFactor (int column) noexcept { return colourFactors[clampColumn (column)]; }

double motifFactor (int row) noexcept
{
    const int r = clampRow (row);
    return r == 0 ? 1.0 : motifFactors[r - 1];
}

double foldScale (int row, int column) noexcept { return foldScaleTable[clampRow (row)][clampColumn (column)]; }
double foldRange (int row, int column) noexcept { return foldRangeTable[clampRow (row)][clampColumn (column)]; }

} // namespace brivola
